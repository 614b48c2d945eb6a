#include "cli/ReaderOptions.h"

#include "cli/ReaderMessages.h"
#include "cli/ReaderTexts.h"
#include "core/CommandLine.h"
#include "platform/ComPorts.h"

namespace {

const std::vector<OptionDefinition> kOptions = {
    {"port", 'p', true},     {"device", 'd', true}, {"list", 'l', false}, {"wait", 'w', true},
    {"fast", 'f', false},    {"lang", 0, true},     {"json", 'j', false}, {"csv", 'c', false},
    {"repeat", 'r', false},  {"log", 'o', true},    {"trace", 't', true}, {"help", 'h', false},
    {"version", 'V', false},
};

namespace texts = reader_texts;

// Stores one option's value; returns the error in the language asked, empty when the value
// is good.
std::string Apply(ReaderOptions& options, const std::string& name, const std::string& value,
                  Language l) {
    if (name == "port") {
        // "COM9" as --device takes it, or the number alone.
        const bool named = value.size() > 3 && (value[0] | 0x20) == 'c' &&
                           (value[1] | 0x20) == 'o' && (value[2] | 0x20) == 'm';
        const auto port =
            ParseWholeNumber(named ? value.substr(3) : value, kLowestComNumber, kHighestComNumber);
        if (!port) return Say(texts::kBadPort, l, {value, std::to_string(kHighestComNumber)});
        options.port = static_cast<int32_t>(*port);
    } else if (name == "wait") {
        const auto seconds = ParseWholeNumber(value, 0, kLongestWaitSeconds);
        if (!seconds) return Say(texts::kBadWait, l, {value, std::to_string(kLongestWaitSeconds)});
        options.waitSeconds = static_cast<uint32_t>(*seconds);
    } else if (name == "lang") {
        if (value != "fr" && value != "en") return Say(texts::kBadLanguage, l, {value});
        options.language = value == "en" ? Language::English : Language::French;
    } else if (name == "device" || name == "trace" || name == "log") {
        if (value.empty()) return Say(texts::kNeedsFileName, l, {name});
        (name == "device"  ? options.device
         : name == "trace" ? options.tracePath
                           : options.logPath) = value;
    } else {
        bool& flag = name == "list"     ? options.list
                     : name == "fast"   ? options.fast
                     : name == "json"   ? options.json
                     : name == "csv"    ? options.csv
                     : name == "repeat" ? options.repeat
                     : name == "help"   ? options.help
                                        : options.version;
        flag = true;
    }
    return {};
}

}  // namespace

Language LanguageAsked(const std::vector<std::string>& args) {
    Language language = Language::French;
    for (size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
        const std::string value = args[i] == "--lang" && i + 1 < args.size() ? args[i + 1]
                                  : args[i].rfind("--lang=", 0) == 0         ? args[i].substr(7)
                                                                             : std::string();
        if (value == "fr" || value == "en")
            language = value == "en" ? Language::English : Language::French;
    }
    return language;
}

CommandLineWords CommandLineWordsIn(Language l) {
    return {Text(texts::kNeedsValue, l),         Text(texts::kTakesNoValue, l),
            Text(texts::kUnknownOption, l),      Text(texts::kAmbiguousOption, l),
            Text(texts::kUnexpectedArgument, l), Text(texts::kTryHelp, l)};
}

ParsedReaderOptions ParseReaderOptions(const std::vector<std::string>& args) {
    ParsedReaderOptions parsed;
    // Read first, so that an error in any option is already in the user's language.
    const Language l = LanguageAsked(args);
    parsed.options.language = l;
    bool waitGiven = false;
    parsed.error = ParseCommandLine(
        args, kOptions,
        [&](const OptionDefinition& option, const std::string& value) {
            waitGiven = waitGiven || std::string(option.longName) == "wait";
            return Apply(parsed.options, option.longName, value, l);
        },
        CommandLineWordsIn(l));
    const ReaderOptions& o = parsed.options;
    if (parsed.error.empty() && o.port != 0 && !o.device.empty())
        parsed.error = Text(texts::kPortOrDevice, l);
    if (parsed.error.empty() && o.csv && o.json) parsed.error = Text(texts::kCsvOrJson, l);
    // Each unit of a run is waited for until it comes or the run is stopped.
    if (parsed.error.empty() && o.repeat && waitGiven) parsed.error = Text(texts::kWaitOrRepeat, l);
    return parsed;
}

std::string ReaderHelpText(Language language) {
    if (language == Language::French) return FrenchHelpText();
    return "Usage: p06-read [options]\n"
           "Reads the type, serial number, circuit version and software version of an\n"
           "Emetteur Radio TALVERN8 transmitter over its serial line, as the bench program's\n"
           "read button does, and prints the lines the window writes (in English it fills in\n"
           "the four lines that the window leaves blank: versions and the closing lines).\n"
           "\n"
           "Options:\n"
           "  -p, --port N        read the unit on COM N (1 to 100); without it and\n"
           "                      --device, only the port of the transmitter's USB-serial\n"
           "                      adapter (marked ORVANEX): none plugged in ends with\n"
           "                      status 4, and --repeat waits for one\n"
           "  -d, --device PATH   read the unit on this device (" HELP_DEVICE_EXAMPLE
           ")\n"
           "  -l, --list          print every port, one a line, the one that would be read\n"
           "                      marked \"* \"; with --json, as a JSON array; with --csv,\n"
           "                      as CSV: com,device,adapter\n"
           "  -w, --wait SECONDS  how long to wait for the unit to accept the poll\n"
           "                      (0 to 86400, default 10; 0 makes one poll); with a\n"
           "                      silent unit, p06-read has ended and put the port back\n"
           "                      within SECONDS plus 2.9 s (the last poll's 1.1 s, the\n"
           "                      end of the conversation's 1.6 s, the line's time-outs),\n"
           "                      and within 3.9 s at the least\n"
           "  -f, --fast          no 300 ms pause between the steps of the reading\n"
           "      --lang fr|en    language of the lines and messages (default fr)\n"
           "  -j, --json          print one JSON object instead of the lines\n"
           "  -r, --repeat        read unit after unit until Ctrl+C: after each reading,\n"
           "                      check the unit (every 1.5 s) until it goes or another\n"
           "                      takes its place; one record each time a unit is\n"
           "                      presented, as JSON Lines (not with --wait); a unit\n"
           "                      read before in the run is recorded as \"read-again\";\n"
           "                      the same unit away less than 2 s is one record, away\n"
           "                      5 s or more it is recorded again; a unit is read when\n"
           "                      it stays 6 s in another's place (8 s paced)\n"
           "  -c, --csv           the record as CSV (a header line, then one per unit;\n"
           "                      lines end in CR LF)\n"
           "  -o, --log FILE      append each record to FILE first, whole and on the\n"
           "                      disk, then print it; FILE is opened again by its name\n"
           "                      for each record, so it may be moved or deleted\n"
           "  -t, --trace FILE    write every byte on the wire with its time to FILE\n"
           "                      (- for standard error)\n"
           "  -h, --help          print this help\n"
           "  -V, --version       print the version\n"
           "\n"
           "Exit status:\n"
           "  0  the unit was read, and right: every step answered in turn with digits\n"
           "  1  bad option or value, or a trace or log file that cannot be opened\n"
           "  2  the unit is not of the P06 type\n"
           "  3  no unit answered within the wait, or it refused the poll\n"
           "  4  no adapter (without --port or --device), no such port, or the port\n"
           "     could not be opened or used\n"
           "  5  the unit answered, but a step failed or its answer was spoiled (a byte\n"
           "     that is no digit, bytes out of turn): incomplete, the step named\n"
           "  6  the output, the trace or the log could not be written (what was\n"
           "     read is still in the log, or on the output when the log failed;\n"
           "     standard error says which)\n" HELP_STOP_STATUS_EN
           ": p06-read ends the\n"
           "     conversation, puts the port back as it found it, and ends with that\n"
           "     signal; on Linux a second Ctrl+C ends at once, the port put back. A\n"
           "     reading under way is recorded with the result \"stopped\", the error\n"
           "     code 100100 and the values read before the stop. With --repeat the\n"
           "     number of units read goes to standard error first.\n";
}
