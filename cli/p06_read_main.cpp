// p06-read: reads a transmitter from the command line, for scripts and production lines.
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ReaderProgram.h"
#include "platform/Process.h"
#include "platform/SystemPorts.h"

int main(int argc, char** argv) {
    EnsureStandardStreams();
    CatchStopSignals();
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
        system.deviceExists = [](const std::string& path) {
            std::error_code error;
            return std::filesystem::exists(path, error);
        };
        system.stopSignal = StopSignal;
        status = RunReader(args, system);
    }
    // The port is closed and put back by now; a stop ends as its signal asks.
    if (StopSignal() != 0) EndWithSignal(StopSignal());
    return status;
}
