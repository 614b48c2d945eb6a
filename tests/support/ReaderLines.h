// The lines p06-read prints: the window's, except that in English the lines the window
// leaves blank (circuit and software versions, end of the report) are complete sentences.
#pragma once

#include "tests/support/ExpectedReading.h"

inline TextLines ReaderReading(int32_t language, const ReadUnit& unit = {}) {
    TextLines lines = SuccessfulReading(language, unit);
    if (language != kEnglish) return lines;
    lines[6] = "Circuit version is " + std::to_string(unit.circuitVersion) + ".";
    lines[7] = "Software version is " + unit.softwareVersion + ".";
    lines[10] = "Data transfer successful.";
    lines[13] = "You can read another Emetteur Radio TALVERN8 unit.";
    return lines;
}
