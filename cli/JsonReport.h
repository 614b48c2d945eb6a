// The reading as one JSON object, for scripts:
// {"port": 5, "type": "P06", "serialNumber": 4660, "circuitVersion": 3,
//  "softwareVersion": "2.5", "status": {"connect": 0, ...}, "elapsedMs": 4321, "result": "read"}
// A value or status whose step never ran is null; so is the port when there was none.
#pragma once

#include <cstdint>
#include <string>

#include "cli/PacedReading.h"

// A JSON string literal, quotes included. Printable ASCII passes as is; every other byte
// (the unit's type identifier may hold any) is written \u00XX, the byte as its code point.
std::string JsonString(const std::string& bytes);

// "read", "wrong-type", "no-answer", "port-error".
const char* ResultName(ReadingResult result);

// port: the COM number read, 0 when no port was found.
std::string ReadingJson(int32_t port, const ReadingOutcome& outcome);
