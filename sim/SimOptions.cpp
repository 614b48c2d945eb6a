// Reads p06-sim's command line. Every value is checked in full: a typing mistake in a
// test script should stop the simulator, not give a unit that differs silently.
#include "sim/SimOptions.h"

#include <cstdint>
#include <functional>
#include <map>

namespace {

// The link can only name COM1 to COM100.
constexpr unsigned long long kMaxComNumber = 100;
constexpr size_t kTypeLength = 3;

bool ParseNumber(const std::string& text, unsigned long long max, unsigned long long& value) {
    if (text.empty() || text.size() > 20) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > max) return false;
    }
    return true;
}

bool ParseSoftware(const std::string& text, UnitConfig& unit) {
    const size_t point = text.find('.');
    if (point == std::string::npos) return false;
    unsigned long long first = 0;
    unsigned long long second = 0;
    if (!ParseNumber(text.substr(0, point), 255, first) ||
        !ParseNumber(text.substr(point + 1), 255, second)) {
        return false;
    }
    unit.softwareFirst = static_cast<uint8_t>(first);
    unit.softwareSecond = static_cast<uint8_t>(second);
    return true;
}

}  // namespace

std::string SimUsage() {
    return "Usage: p06-sim [options]\n"
           "Serves a simulated P06 unit on a pseudo-terminal registered as a COM port.\n"
           "\n"
           "Unit:\n"
           "  --type TEXT       type identifier, 3 characters (default P06)\n"
           "  --serial N        serial number, 0 to 4294967295 (default 4660)\n"
           "  --circuit N       circuit version, 0 to 255 (default 3)\n"
           "  --software A.B    software version, each 0 to 255 (default 2.5)\n"
           "Faults:\n"
           "  --silent          never answer\n"
           "  --refuse          answer every poll with 0x85\n"
           "  --accept-after N  answer the first N polls with 0x00, then accept\n"
           "  --stop-after N    go silent after sending N bytes\n"
           "  --lower-case      send hexadecimal digits as a to f\n"
           "  --refuse-rate     refuse rate changes\n"
           "Port:\n"
           "  --com N           register the port as COM<N>, 1 to 100 (default 7)\n"
           "  --ports-dir DIR   folder of the port aliases (default: the program's own)\n"
           "Other:\n"
           "  --log             print every byte in and out on stderr\n"
           "  --help            print this text and exit\n";
}

ParsedOptions ParseSimOptions(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    SimOptions& o = parsed.options;

    using Flag = std::function<void()>;
    const std::map<std::string, Flag> flags = {
        {"--silent", [&] { o.faults.silent = true; }},
        {"--refuse", [&] { o.faults.refuses = true; }},
        {"--lower-case", [&] { o.faults.lowerCaseDigits = true; }},
        {"--refuse-rate", [&] { o.faults.refusesRateChange = true; }},
        {"--log", [&] { o.log = true; }},
        {"--help", [&] { o.help = true; }},
    };
    // Each option with a value: how it is read, and what a valid value looks like.
    using Setter = std::function<bool(const std::string&)>;
    const auto number = [](unsigned long long max, auto store) {
        return [max, store](const std::string& text) {
            unsigned long long value = 0;
            if (!ParseNumber(text, max, value)) return false;
            store(value);
            return true;
        };
    };
    const std::map<std::string, std::pair<Setter, std::string>> valued = {
        {"--type",
         {[&](const std::string& t) {
              if (t.size() != kTypeLength) return false;
              o.unit.type = t;
              return true;
          },
          "3 characters"}},
        {"--serial",
         {number(UINT32_MAX,
                 [&](unsigned long long v) { o.unit.serialNumber = static_cast<uint32_t>(v); }),
          "a number from 0 to 4294967295"}},
        {"--circuit",
         {number(255,
                 [&](unsigned long long v) { o.unit.circuitVersion = static_cast<uint8_t>(v); }),
          "a number from 0 to 255"}},
        {"--software",
         {[&](const std::string& t) { return ParseSoftware(t, o.unit); },
          "two numbers from 0 to 255 joined by a point, as 2.5"}},
        {"--accept-after",
         {number(INT32_MAX,
                 [&](unsigned long long v) { o.faults.acceptAfterPolls = static_cast<int>(v); }),
          "a number of polls, 0 or more"}},
        {"--stop-after",
         {number(INT32_MAX,
                 [&](unsigned long long v) { o.faults.stopAfterBytes = static_cast<int>(v); }),
          "a number of bytes, 0 or more"}},
        {"--com",
         {[&](const std::string& t) {
              unsigned long long v = 0;
              if (!ParseNumber(t, kMaxComNumber, v) || v == 0) return false;
              o.comNumber = static_cast<int>(v);
              return true;
          },
          "a number from 1 to 100"}},
        {"--ports-dir",
         {[&](const std::string& t) {
              if (t.empty()) return false;
              o.portsDir = t;
              return true;
          },
          "a folder"}},
    };

    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (const auto flag = flags.find(name); flag != flags.end()) {
            flag->second();
            continue;
        }
        const auto option = valued.find(name);
        if (option == valued.end()) {
            parsed.error = "unknown option '" + name + "'";
            return parsed;
        }
        if (i + 1 >= arguments.size()) {
            parsed.error = name + " needs a value: " + option->second.second;
            return parsed;
        }
        const std::string& value = arguments[++i];
        if (!option->second.first(value)) {
            parsed.error =
                "bad value '" + value + "' for " + name + ": expected " + option->second.second;
            return parsed;
        }
    }
    return parsed;
}
