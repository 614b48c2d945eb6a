// Complete English lines for the reader. The window's English texts are blank for the
// circuit and software versions and the end of the report; a reader that printed them so
// would drop the unit's data. French lines pass as the window writes them.
#pragma once

#include <cstdint>
#include <string>

#include "core/ReadingStep.h"

// The writer of the success report's lines, after the reading states.
inline constexpr int32_t kReportDoneWriter = 100;

// line: the window's English line, the index-th that writer wrote (a reading state or
// kReportDoneWriter). Returns the line to print.
std::string CompleteEnglishLine(int32_t writer, int32_t index, const std::string& line,
                                const ReadingRecord& record);
