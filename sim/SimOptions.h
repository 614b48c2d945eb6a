// The command line of p06-sim: the simulated unit, its faults and where its port appears.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

struct SimOptions {
    UnitConfig unit;
    FaultConfig faults;
    uint32_t replugAfterMs = 1000;  // how long an unplugged port stays away
    int units = 0;                  // units one after another (0: one unit, for good)
    uint32_t presentMs = 2000;      // how long a unit stays after its first conversation
    uint32_t absentMs = 1000;       // the silence between two units
    uint32_t absentMaxMs = 0;       // with MIN-MAX: the longest silence, else 0
    std::string benchPath;          // a production line played from this file
    int comNumber = 7;
    std::string portsDir;  // empty: the program's own port alias folder
    bool dump = false;     // every byte in and out on stderr
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    SimOptions options;
    std::string error;  // empty when the command line was understood
};

ParsedOptions ParseSimOptions(const std::vector<std::string>& arguments);
std::string SimUsage();
