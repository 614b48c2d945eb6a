// The command line of p06-sim: the simulated unit, its faults and where its port appears.
#pragma once

#include <string>
#include <vector>

#include "sim/DeviceModel.h"

struct SimOptions {
    UnitConfig unit;
    FaultConfig faults;
    int comNumber = 7;
    std::string portsDir;  // empty: the program's own port alias folder
    bool log = false;      // every byte in and out on stderr
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    SimOptions options;
    std::string error;  // empty when the command line was understood
};

ParsedOptions ParseSimOptions(const std::vector<std::string>& arguments);
std::string SimUsage();
