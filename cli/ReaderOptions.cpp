#include "cli/ReaderOptions.h"

#include <cstddef>
#include <optional>

namespace {

// A whole decimal number within [low, high]; nothing else (no sign, no spaces, no suffix).
std::optional<uint32_t> ParseNumber(const std::string& text, uint32_t low, uint32_t high) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

bool TakesValue(const std::string& name) {
    return name == "--port" || name == "--wait" || name == "--lang" || name == "--trace";
}

bool IsFlag(const std::string& name) {
    return name == "--list" || name == "--fast" || name == "--json" || name == "--help" ||
           name == "-h";
}

// Stores one option's value; returns the error, empty when the value is good.
std::string Apply(ReaderOptions& options, const std::string& name, const std::string& value) {
    if (name == "--port") {
        const auto port = ParseNumber(value, 1, kHighestPort);
        if (!port) {
            return "invalid port '" + value + "': give a COM number from 1 to " +
                   std::to_string(kHighestPort);
        }
        options.port = static_cast<int32_t>(*port);
    } else if (name == "--wait") {
        const auto seconds = ParseNumber(value, 0, kLongestWaitSeconds);
        if (!seconds) {
            return "invalid wait '" + value + "': give whole seconds from 0 to " +
                   std::to_string(kLongestWaitSeconds);
        }
        options.waitSeconds = *seconds;
    } else if (name == "--lang") {
        if (value == "fr") {
            options.language = Language::French;
        } else if (value == "en") {
            options.language = Language::English;
        } else {
            return "invalid language '" + value + "': give fr or en";
        }
    } else if (name == "--trace") {
        if (value.empty()) return "option '--trace' needs a file name, or - for standard error";
        options.tracePath = value;
    }
    return {};
}

}  // namespace

ParsedReaderOptions ParseReaderOptions(const std::vector<std::string>& args) {
    ParsedReaderOptions parsed;
    ReaderOptions& options = parsed.options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            parsed.error = "unexpected argument '" + arg + "'";
            return parsed;
        }
        // Both "--port 5" and "--port=5".
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (IsFlag(name)) {
            if (equals != std::string::npos) {
                parsed.error = "option '" + name + "' takes no value";
                return parsed;
            }
            if (name == "--list") options.list = true;
            if (name == "--fast") options.fast = true;
            if (name == "--json") options.json = true;
            if (name == "--help" || name == "-h") options.help = true;
            continue;
        }
        if (!TakesValue(name)) {
            parsed.error = "unknown option '" + name + "'";
            return parsed;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            parsed.error = "option '" + name + "' needs a value";
            return parsed;
        }
        parsed.error = Apply(options, name, value);
        if (!parsed.error.empty()) return parsed;
    }
    return parsed;
}

std::string ReaderHelpText() {
    return "Usage: p06-read [options]\n"
           "Reads the type, serial number, circuit version and software version of an\n"
           "Emetteur Radio TALVERN8 transmitter over its serial line, as the bench program's\n"
           "read button does, and prints the same lines.\n"
           "\n"
           "Options:\n"
           "  --port N        read the unit on COM N (1 to 100); without it, the port that\n"
           "                  port discovery chooses (the adapter's port first)\n"
           "  --list          print the port labels, one a line, the chosen one marked \"* \"\n"
           "  --wait SECONDS  how long the unit may take to accept the poll (default 10)\n"
           "  --fast          no 300 ms pause between the steps of the reading\n"
           "  --lang fr|en    language of the lines (default fr)\n"
           "  --json          print one JSON object instead of the lines\n"
           "  --trace FILE    write every byte on the wire with its time to FILE\n"
           "                  (- for standard error)\n"
           "  -h, --help      print this help\n"
           "\n"
           "Exit status:\n"
           "  0  the unit was read\n"
           "  1  bad option or value\n"
           "  2  the unit is not of the P06 type\n"
           "  3  no unit answered within the wait\n"
           "  4  no serial port, or the port could not be opened or used\n";
}
