// What p06-read's exit status tells a script or a production line.
#pragma once

#include "core/CommandLine.h"

inline constexpr int kExitRead = 0;                // the unit was read (also --list and --help)
inline constexpr int kExitUsage = kExitBadOption;  // bad option or value, or an unusable file
inline constexpr int kExitWrongType = 2;           // the unit answered but is not a P06
inline constexpr int kExitNoAnswer = 3;            // no unit accepted the poll within the wait
inline constexpr int kExitPortError = 4;    // no port, or the port could not be opened or used
inline constexpr int kExitIncomplete = 5;   // the unit accepted the poll, a later step failed
inline constexpr int kExitOutputError = 6;  // the output, the trace or the log was not written
