// p06-read from its arguments to its exit status: finds the port, reads the unit through the
// device link and ReadingStep, and reports as lines, JSON or CSV. Everything it touches comes
// in through ReaderSystem, so the tests run the whole program against the fakes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/CommandLine.h"
#include "dialogs/Language.h"
#include "platform/Clock.h"
#include "platform/ComPorts.h"
#include "platform/PortTable.h"
#include "platform/SerialLine.h"
#include "platform/SystemPorts.h"

struct ReaderSystem {
    std::ostream& out;
    std::ostream& err;
    SerialLine& line;
    Clock& clock;
    // A fresh port table for the port discovery.
    std::function<std::unique_ptr<PortTable>()> makePortTable;
    // Seconds since 1970 in UTC, for the records.
    std::function<int64_t()> unixTime = [] { return int64_t{0}; };
    // The system's path of a COM port, and the COM port of a path (0 when none).
    std::function<std::string(int32_t)> devicePathOf = [](int32_t port) {
        return "COM" + std::to_string(port);
    };
    std::function<int32_t(const std::string&)> portOfDevice = [](const std::string& path) {
        const auto number =
            path.rfind("COM", 0) == 0
                ? ParseWholeNumber(path.substr(3), kLowestComNumber, kHighestComNumber)
                : std::nullopt;
        return static_cast<int32_t>(number.value_or(0));
    };
    // Where a COM port leads and who may open a device, for the messages (SystemPorts.h).
    std::function<PortWhere(int32_t)> whereIs = [](int32_t) { return PortWhere{}; };
    std::function<PortAccess(const std::string&)> accessOf = [](const std::string&) {
        return PortAccess{"dialout", false, false, ""};
    };
    // The other programs that hold a device open (SystemPorts.h).
    std::function<std::vector<std::string>(const std::string&)> holdersOf = [](const std::string&) {
        return std::vector<std::string>{};
    };
    // The port alias folder when it cannot be used (SystemPorts.h).
    std::function<FolderProblem()> aliasFolderProblem = [] { return FolderProblem{}; };
    // Whether a device path names a file at all.
    std::function<bool(const std::string&)> deviceExists = [](const std::string&) { return false; };
    // What to say if a second stop ends the process at once (platform/Process.h).
    std::function<void(const std::string&, const std::string&)> setLastWords =
        [](const std::string&, const std::string&) {};
    // The signal that asked the program to stop; 0 while none has.
    std::function<int()> stopSignal = [] { return 0; };
};

struct ReadingPlace;
// What the messages of a reading on a port need to know of it, in the language given.
ReadingPlace PlaceOf(ReaderSystem& system, int32_t port, bool opened, uint32_t waitSeconds,
                     const std::string& device, Language language);

// args: the arguments after the program name. Returns the exit status (cli/ExitCode.h).
int RunReader(const std::vector<std::string>& args, ReaderSystem& system);
