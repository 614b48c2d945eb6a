// Wall-clock time as the records write it.
#pragma once

#include <cstdint>
#include <string>

// ISO 8601 in UTC to the second: "2026-03-01T08:30:00Z".
std::string UtcTime(int64_t unixSeconds);
