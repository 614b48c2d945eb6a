// p06-read: reads a transmitter from the command line, for scripts and production lines.
#include <iostream>
#include <string>
#include <vector>

#include "cli/ReaderProgram.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const std::unique_ptr<SerialLine> line = MakeSystemSerialLine();
    const std::unique_ptr<Clock> clock = MakeSystemClock();
    ReaderSystem system{std::cout, std::cerr, *line, *clock, MakeSystemPortTable};
    return RunReader(args, system);
}
