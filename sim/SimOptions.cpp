// Reads p06-sim's command line. Every value is checked in full: a typing mistake in a
// test script should stop the simulator, not give a unit that differs silently.
#include "sim/SimOptions.h"

#include <cstdint>

#include "cli/CommandLine.h"
#include "platform/ComPorts.h"

namespace {

constexpr size_t kTypeLength = 3;

const std::vector<OptionDefinition> kOptions = {
    {"type", 't', true},       {"serial", 's', true},   {"circuit", 0, true},
    {"software", 0, true},     {"silent", 0, false},    {"refuse", 0, false},
    {"accept-after", 0, true}, {"stop-after", 0, true}, {"lower-case", 0, false},
    {"refuse-rate", 0, false}, {"com", 'c', true},      {"ports-dir", 'd', true},
    {"log", 'l', false},       {"help", 'h', false},    {"version", 'V', false},
};

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
    } else if (name == "com") {
        if (!StoreNumber(value, kLowestComNumber, kHighestComNumber, o.comNumber))
            return "a number from 1 to 100";
    } else if (name == "ports-dir") {
        if (value.empty()) return "a folder";
        o.portsDir = value;
    } else {
        bool& flag = name == "silent"        ? o.faults.silent
                     : name == "refuse"      ? o.faults.refuses
                     : name == "lower-case"  ? o.faults.lowerCaseDigits
                     : name == "refuse-rate" ? o.faults.refusesRateChange
                     : name == "log"         ? o.log
                     : name == "help"        ? o.help
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
           "  -t, --type TEXT       type identifier, 3 characters (default P06)\n"
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
           "Port:\n"
           "  -c, --com N           register the port as COM<N>, 1 to 100 (default 7);\n"
           "                        refused while another simulator serves it\n"
           "  -d, --ports-dir DIR   folder of the port aliases (default: the program's own)\n"
           "Other:\n"
           "  -l, --log             print every byte in and out on stderr\n"
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
    return parsed;
}
