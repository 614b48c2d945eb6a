// p06-read from its arguments to its exit status: finds the port, reads the unit through the
// device link and ReadingStep, and reports as lines or JSON. Everything it touches comes in
// through ReaderSystem, so the tests run the whole program against the fakes.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/PortTable.h"
#include "platform/SerialLine.h"

struct ReaderSystem {
    std::ostream& out;
    std::ostream& err;
    SerialLine& line;
    Clock& clock;
    // A fresh port table for the port discovery.
    std::function<std::unique_ptr<PortTable>()> makePortTable;
};

// args: the arguments after the program name. Returns the exit status (cli/ExitCode.h).
int RunReader(const std::vector<std::string>& args, ReaderSystem& system);
