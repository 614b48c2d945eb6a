// One p06-sim for a test: started with its port alias in a folder of the test's own, ready
// once it has printed its line, stopped by its process id and its folder removed.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <string>
#include <vector>

#include "tests/support/ExpectedReading.h"
#include "tests/support/TempDir.h"

class SimProcess {
public:
    // Starts p06-sim with the given options plus --ports-dir and --com. A non-empty
    // portsDir is used as is (and left in place); else a temporary folder is made.
    SimProcess(const std::vector<std::string>& options, int comNumber,
               const std::string& portsDir = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // True when the simulator printed its line in time.
    bool Ready() const { return !line_.empty(); }
    const std::string& Line() const { return line_; }
    const std::string& PortsDir() const { return portsDir_; }
    std::string AliasPath() const;
    // The pseudo-terminal named in the line.
    std::string DevicePath() const;

    // Sends the signal (SIGTERM: a clean stop; SIGKILL: the unit vanishes, its alias left
    // behind), then waits; returns the wait status (-1 when it was not running).
    int Stop(int signal = SIGTERM);

private:
    TempDir temp_;
    std::string portsDir_;
    int comNumber_;
    pid_t pid_ = -1;
    std::string line_;
};

// The options that make p06-sim answer as the given unit.
std::vector<std::string> SimOptions(const ReadUnit& unit);

// Runs p06-sim to its end with the given arguments; returns the wait status and what
// it wrote on stdout and stderr.
struct SimRun {
    int status = -1;
    std::string out;
    std::string err;
};
SimRun RunSim(const std::vector<std::string>& arguments);
