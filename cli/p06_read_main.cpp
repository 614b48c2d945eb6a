// p06-read: reads a transmitter from the command line, for scripts and production lines.
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ExitCode.h"
#include "cli/OutputQueue.h"
#include "cli/ReaderProgram.h"
#include "platform/Process.h"
#include "platform/SystemPorts.h"

namespace {

int Run(int argc, char** argv) {
    CatchStopSignals();
    // Standard error must not wait for standard output: tied, each message would flush it,
    // and a pipe that nobody reads would stop the reader there.
    std::cerr.tie(nullptr);
    int status = 0;
    {
        const std::vector<std::string> args(argv + 1, argv + argc);
        const std::unique_ptr<SerialLine> line = MakeSystemSerialLine();
        const std::unique_ptr<Clock> clock = MakeSystemClock();
        ReaderSystem system{std::cout, std::cerr, *line, *clock, MakeSystemPortTable};
        system.unixTime = [] { return static_cast<int64_t>(std::time(nullptr)); };
        system.devicePathOf = DevicePathOfPort;
        system.portOfDevice = PortOfDevicePath;
        system.whereIs = WhereIs;
        system.accessOf = AccessOf;
        system.holdersOf = OtherHoldersOf;
        system.deviceExists = [](const std::string& path) {
            std::error_code error;
            return std::filesystem::exists(path, error);
        };
        system.stopSignal = StopSignal;
        system.aliasFolderProblem = AliasFolderProblem;
        system.setLastWords = SetLastWords;
        status = RunReader(args, system);
    }
    // The port is closed and put back by now. Standard output that nobody reads would hang
    // exit's flush. A stop ends as its signal asks, unless records were not written.
    if (OutputQueue::AnyStuck()) {
        std::cerr.flush();
        std::_Exit(status);
    }
    if (StopSignal() != 0 && status != kExitOutputError) EndWithSignal(StopSignal());
    return status;
}

}  // namespace

// Anything the code above did not expect ends in one line and status 1, never an abort.
int main(int argc, char** argv) {
    EnsureStandardStreams();
    try {
        return Run(argc, argv);
    } catch (const std::exception& failure) {
        std::cerr << "p06-read: " << failure.what() << std::endl;
    } catch (...) {
        std::cerr << "p06-read: unexpected failure" << std::endl;
    }
    return kExitBadOption;
}
