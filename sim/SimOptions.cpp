// Reads p06-sim's command line. Every value is checked in full: a typing mistake in a
// test script should stop the simulator, not give a unit that differs silently.
#include "sim/SimOptions.h"

#include <cstdint>

#include "core/CommandLine.h"
#include "platform/ComPorts.h"

namespace {

constexpr size_t kTypeLength = 3;
// A unit slower than this is no unit the host could read: it waits 1100 ms for each byte.
constexpr uint32_t kLongestAnswerDelayMs = 10000;

const std::vector<OptionDefinition> kOptions = {
    // No short letter that p06-read gives another meaning: -t, -c, -d and -l are its.
    {"type", 'y', true},          {"serial", 's', true},      {"circuit", 0, true},
    {"software", 0, true},        {"silent", 0, false},       {"refuse", 0, false},
    {"accept-after", 0, true},    {"stop-after", 0, true},    {"lower-case", 0, false},
    {"refuse-rate", 0, false},    {"fault", 0, true},         {"replug-after", 0, true},
    {"units", 0, true},           {"bench", 0, true},         {"present", 0, true},
    {"absent", 0, true},          {"latency-timer", 0, true}, {"answer-delay", 0, true},
    {"rate-ack-alone", 0, false}, {"com", 'n', true},         {"ports-dir", 'a', true},
    {"dump", 'x', false},         {"help", 'h', false},       {"version", 'V', false},
};

// The steps in LineStep's order, and the line faults, as --fault names them.
const char* const kStepNames[kLineStepCount] = {"poll",    "type",     "serial",
                                                "circuit", "software", "end"};
const struct {
    const char* name;
    LineFault fault;
} kFaultNames[] = {
    {"late", LineFault::Late},
    {"noise", LineFault::Noise},
    {"truncated", LineFault::Truncated},
    {"doubled", LineFault::Doubled},
    {"extra-digits", LineFault::ExtraDigits},
    {"bad-digit", LineFault::BadDigit},
    {"lower-case", LineFault::LowerCase},
    {"silent", LineFault::Silent},
    {"unplug", LineFault::Unplug},
    {"echo", LineFault::Echo},
};

// "STEP:KIND"; returns what a valid value looks like when this one is not.
std::string ParseFault(const std::string& text, FaultConfig& faults) {
    std::string steps;
    for (const char* name : kStepNames) steps += std::string(steps.empty() ? "" : ", ") + name;
    std::string kinds;
    for (const auto& f : kFaultNames) kinds += std::string(kinds.empty() ? "" : ", ") + f.name;
    const std::string expected = "STEP:KIND, STEP one of " + steps + ", KIND one of " + kinds;

    const size_t colon = text.find(':');
    if (colon == std::string::npos) return expected;
    size_t step = 0;
    while (step < kLineStepCount && text.compare(0, colon, kStepNames[step]) != 0) ++step;
    const std::string kind = text.substr(colon + 1);
    const auto* f = std::begin(kFaultNames);
    while (f != std::end(kFaultNames) && kind != f->name) ++f;
    if (step == kLineStepCount || f == std::end(kFaultNames)) return expected;
    if (faults.lineFaults[step] != LineFault::None) return "one fault per step";
    faults.lineFaults[step] = f->fault;
    return {};
}

bool ParseSoftware(const std::string& text, UnitConfig& unit) {
    const size_t point = text.find('.');
    if (point == std::string::npos) return false;
    const auto first = ParseWholeNumber(text.substr(0, point), 0, 255);
    const auto second = ParseWholeNumber(text.substr(point + 1), 0, 255);
    if (!first || !second) return false;
    unit.softwareFirst = static_cast<uint8_t>(*first);
    unit.softwareSecond = static_cast<uint8_t>(*second);
    return true;
}

// Stores a number within [low, high]; false when the text is not one.
template <typename T>
bool StoreNumber(const std::string& text, uint64_t low, uint64_t high, T& target) {
    const auto value = ParseWholeNumber(text, low, high);
    if (value) target = static_cast<T>(*value);
    return value.has_value();
}

// Stores one option; returns what a valid value looks like when this one is not.
std::string Apply(SimOptions& o, const std::string& name, const std::string& value) {
    if (name == "type") {
        if (value.size() != kTypeLength) return "3 characters";
        o.unit.type = value;
    } else if (name == "serial") {
        if (!StoreNumber(value, 0, UINT32_MAX, o.unit.serialNumber))
            return "a number from 0 to 4294967295";
    } else if (name == "circuit") {
        if (!StoreNumber(value, 0, 255, o.unit.circuitVersion)) return "a number from 0 to 255";
    } else if (name == "software") {
        if (!ParseSoftware(value, o.unit))
            return "two numbers from 0 to 255 joined by a point, as 2.5";
    } else if (name == "accept-after") {
        if (!StoreNumber(value, 0, INT32_MAX, o.faults.acceptAfterPolls))
            return "a number of polls, 0 or more";
    } else if (name == "stop-after") {
        if (!StoreNumber(value, 0, INT32_MAX, o.faults.stopAfterBytes))
            return "a number of bytes, 0 or more";
    } else if (name == "fault") {
        return ParseFault(value, o.faults);
    } else if (name == "latency-timer") {
        if (!StoreNumber(value, 1, 255, o.faults.latencyTimerMs)) return "a number from 1 to 255";
    } else if (name == "answer-delay") {
        const size_t dash = value.find('-');
        FaultConfig& f = o.faults;
        if (!StoreNumber(value.substr(0, dash), 0, kLongestAnswerDelayMs, f.answerDelayMinMs) ||
            !StoreNumber(dash == std::string::npos ? value : value.substr(dash + 1),
                         f.answerDelayMinMs, kLongestAnswerDelayMs, f.answerDelayMaxMs))
            return "milliseconds up to 10000, or MIN-MAX with MIN not above MAX";
    } else if (name == "absent" && value.find('-') != std::string::npos) {
        const size_t dash = value.find('-');
        if (!StoreNumber(value.substr(0, dash), 0, INT32_MAX, o.absentMs) ||
            !StoreNumber(value.substr(dash + 1), o.absentMs, INT32_MAX, o.absentMaxMs))
            return "milliseconds, or MIN-MAX with MIN not above MAX";
    } else if (name == "replug-after" || name == "present" || name == "absent") {
        uint32_t& ms = name == "replug-after" ? o.replugAfterMs
                       : name == "present"    ? o.presentMs
                                              : o.absentMs;
        if (!StoreNumber(value, 0, INT32_MAX, ms)) return "a number of milliseconds, 0 or more";
    } else if (name == "units") {
        if (!StoreNumber(value, 1, INT32_MAX, o.units)) return "a number of units, 1 or more";
    } else if (name == "com") {
        if (!StoreNumber(value, kLowestComNumber, kHighestComNumber, o.comNumber))
            return "a number from 1 to 100";
    } else if (name == "bench") {
        if (value.empty()) return "a file";
        o.benchPath = value;
    } else if (name == "ports-dir") {
        if (value.empty()) return "a folder";
        o.portsDir = value;
    } else {
        bool& flag = name == "silent"           ? o.faults.silent
                     : name == "refuse"         ? o.faults.refuses
                     : name == "lower-case"     ? o.faults.lowerCaseDigits
                     : name == "refuse-rate"    ? o.faults.refusesRateChange
                     : name == "rate-ack-alone" ? o.faults.rateAcknowledgeAlone
                     : name == "dump"           ? o.dump
                     : name == "help"           ? o.help
                                                : o.version;
        flag = true;
    }
    return {};
}

}  // namespace

std::string SimUsage() {
    return "Usage: p06-sim [options]\n"
           "Serves a simulated P06 unit on a pseudo-terminal registered as a COM port.\n"
           "\n"
           "Unit:\n"
           "  -y, --type TEXT       type identifier, 3 characters (default P06)\n"
           "  -s, --serial N        serial number, 0 to 4294967295 (default 4660)\n"
           "      --circuit N       circuit version, 0 to 255 (default 3)\n"
           "      --software A.B    software version, each 0 to 255 (default 2.5)\n"
           "Faults:\n"
           "      --silent          never answer\n"
           "      --refuse          answer every poll with 0x85\n"
           "      --accept-after N  answer the first N polls with 0x00, then accept\n"
           "      --stop-after N    go silent after sending N bytes\n"
           "      --lower-case      send hexadecimal digits as a to f\n"
           "      --refuse-rate     refuse rate changes\n"
           "Line faults, each on one step's first answer to a unit:\n"
           "      --fault STEP:KIND spoil that step's answer; STEP is poll, type, serial,\n"
           "                        circuit, software or end (the rate change back and the\n"
           "                        end byte); KIND is late (1500 ms), noise, truncated,\n"
           "                        doubled, extra-digits, bad-digit, lower-case, silent,\n"
           "                        unplug or echo; may be given for several steps\n"
           "      --replug-after MS an unplugged port comes back after MS milliseconds\n"
           "                        (default 1000)\n"
           "Slow lines:\n"
           "      --latency-timer MS\n"
           "                        the adapter hands received bytes on every MS ms, 1 to\n"
           "                        255, as a USB adapter's latency timer does\n"
           "      --answer-delay MS[-MS]\n"
           "                        the unit answers each byte after MS ms, or after a time\n"
           "                        drawn between the two, up to 10000\n"
           "      --rate-ack-alone  no byte after the 0x84 that accepts a rate change\n"
           "Units:\n"
           "      --units N         present N units one after another, the serial numbers\n"
           "                        counting up from --serial (default: one unit for good)\n"
           "      --present MS      a unit stays MS milliseconds after its first\n"
           "                        conversation has ended (default 2000)\n"
           "      --absent MS       silence between two units, in milliseconds (default 1000);\n"
           "                        MIN-MAX: each one drawn between the two\n"
           "      --bench FILE      play a production line: one presence a line,\n"
           "                        FROM_MS TO_MS SERIAL [TYPE] [refuse], from the start;\n"
           "                        each change is said on stderr with the wall-clock time\n"
           "Port:\n"
           "  -n, --com N           register the port as COM<N>, 1 to 100 (default 7);\n"
           "                        refused while another simulator serves it\n"
           "  -a, --ports-dir DIR   folder of the port aliases (default: the program's own)\n"
           "Other:\n"
           "  -x, --dump            print every byte in and out on stderr\n"
           "  -h, --help            print this text and exit\n"
           "  -V, --version         print the version and exit\n"
           "\n"
           "Exit status: 0 stopped by a signal, 1 bad option or value, or the port could\n"
           "not be served.\n";
}

ParsedOptions ParseSimOptions(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    parsed.error = ParseCommandLine(
        arguments, kOptions, [&](const OptionDefinition& option, const std::string& value) {
            const std::string expected = Apply(parsed.options, option.longName, value);
            if (expected.empty()) return std::string();
            return "bad value '" + value + "' for --" + option.longName + ": expected " + expected;
        });
    // Before 1.1.0 -c gave the COM number.
    if (parsed.error == "unknown option '-c'")
        parsed.error += " (the COM number is given with -n or --com since 1.1.0)";
    const SimOptions& o = parsed.options;
    if (parsed.error.empty() && o.units > 0 &&
        uint64_t{o.unit.serialNumber} + static_cast<uint64_t>(o.units - 1) > UINT32_MAX) {
        parsed.error = "bad value '" + std::to_string(o.units) + "' for --units: serial numbers " +
                       "from " + std::to_string(o.unit.serialNumber) + " would pass 4294967295";
    }
    return parsed;
}
