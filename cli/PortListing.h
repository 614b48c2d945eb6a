// p06-read --list: the ports discovery finds, one a line with the chosen one marked "* ",
// and the system's device path where it differs from the port's name; or a JSON array:
// [{"port": 4, "label": "COM4 : ORVANEX", "device": "/dev/ttyUSB0", "chosen": true}]
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/PortTable.h"

// port: the COM number given with --port, which is then the one marked; 0 for discovery's.
std::string PortListing(std::unique_ptr<PortTable> table, int32_t port, bool json,
                        const std::function<std::string(int32_t)>& devicePathOf);
