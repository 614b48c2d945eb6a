// p06-read --list: the ports discovery finds, one a line with the chosen one marked "* ",
// and the port's device file where the system has one (the port dialog's tooltip); or a
// JSON array:
// [{"port": 4, "label": "COM4 : ORVANEX", "device": "/dev/ttyUSB0", "chosen": true}]
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/PortTable.h"

// port: the COM number given with --port, which is then the one marked; 0 for discovery's.
// leftOut, when given, receives what the table left out, one line each with why.
std::string PortListing(std::unique_ptr<PortTable> table, int32_t port, bool json,
                        std::vector<std::string>* leftOut = nullptr);
