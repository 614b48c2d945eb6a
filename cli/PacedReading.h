// A whole reading as the main window runs it: the connect step tried again until the unit
// accepts or the wait is over, then one step per tick through ReadingStep, 300 ms apart,
// and the report that ends it. The window paces with its timer; here the clock sleeps.
#pragma once

#include <cstdint>
#include <string>

#include "app/ReadingStep.h"
#include "link/Com_p06.h"
#include "platform/Clock.h"

enum class ReadingResult {
    Read,       // every step ran and the success report was written
    WrongType,  // the unit answered with a type other than P06
    NoAnswer,   // no unit accepted the poll within the wait
    PortError,  // the port could not be opened or used
};

struct ReadingPlan {
    Language language = Language::French;
    uint32_t waitMs = 10000;  // counted from startTick
    bool paced = true;        // the 300 ms between ticks
    uint32_t startTick = 0;   // the clock's tick count when the run began
};

struct ReadingOutcome {
    ReadingResult result = ReadingResult::NoAnswer;
    ReadingRecord record;
    int32_t portError = 0;         // the operating system's code, for PortError
    std::string wrongTypeMessage;  // the error box's text, for WrongType
    uint32_t elapsedMs = 0;        // from startTick to the end of the report
};

// A link status that is the operating system's own error code rather than one of the link's.
bool IsSystemError(int32_t status);

ReadingOutcome RunReading(CP06& link, Clock& clock, const ReadingPlan& plan,
                          ReadingStep::LineSink sink);
