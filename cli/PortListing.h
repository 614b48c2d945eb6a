// p06-read --list: every port discovery finds, one a line, with the port that would be read
// marked "* " (the adapter's, or the one given with --port), and the port's device file
// where the system has one (the port dialog's tooltip); or a JSON array:
// [{"port": 4, "label": "COM4 : ORVANEX", "device": "/dev/ttyUSB0", "adapter": true,
//   "chosen": true}]
// or CSV, a header line and one line a port, ending in CR LF: com,device,adapter
// 4,/dev/ttyUSB0,yes
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/PortTable.h"

enum class ListFormat { Lines, Json, Csv };

// port: the COM number given with --port, which is then the one marked; 0 for the
// adapter's port, when there is one. leftOut, when given, receives what the table left out,
// one line each with why.
std::string PortListing(std::unique_ptr<PortTable> table, int32_t port, ListFormat format,
                        std::vector<std::string>* leftOut = nullptr);
