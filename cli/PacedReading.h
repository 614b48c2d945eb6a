// A whole reading as the main window runs it: the connect step tried again until the unit
// accepts or the wait is over, then one step per tick through ReadingStep, 300 ms apart,
// and the report that ends it. The window paces with its timer; here the clock sleeps.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/ReadingStep.h"
#include "link/Com_p06.h"
#include "platform/Clock.h"

// The link purges the line for a second before each poll.
inline constexpr uint32_t kPollDelayMs = 1000;
// Between two tries of a port that could not be opened while waiting for the next unit.
inline constexpr uint32_t kPortRetryMs = 1000;

enum class ReadingResult {
    Read,        // every step succeeded and the success report was written
    Incomplete,  // the unit accepted the poll, but a later step failed or an answer was spoiled
    WrongType,   // the unit answered with a type other than P06
    NoAnswer,    // no unit accepted the poll within the wait
    Refused,     // the unit answered the last poll with "give up" (0x85)
    PortError,   // the port could not be opened or used
    Stopped,     // a stop was asked for before the reading ended
};

struct ReadingPlan {
    Language language = Language::French;
    uint32_t waitMs = 10000;             // counted from startTick; no poll goes out after it
    bool paced = true;                   // the 300 ms between ticks
    uint32_t startTick = 0;              // the clock's tick count when the run began
    bool waitThroughPortErrors = false;  // a port that cannot be opened is tried again
    // Each such failure's code; false when waiting cannot mend it, which ends the reading.
    std::function<bool(int32_t)> portErrorSeen = [](int32_t) { return true; };
    std::function<bool()> stopRequested = [] { return false; };
    std::function<bool()> refused = [] { return false; };  // the last reply was 0x85
    std::function<bool()> echoed = [] { return false; };   // the last reply was the poll itself
    std::function<void()> pollUnanswered = [] {};          // after each poll not accepted
    bool endOnRefusal = false;  // a poll refused ends the reading before the wait is over
    bool elapsedFromAcceptedPoll = false;  // the elapsed time leaves out the wait for the unit
};

struct ReadingOutcome {
    ReadingResult result = ReadingResult::NoAnswer;
    ReadingRecord record;
    int32_t portError = 0;         // the operating system's code, for PortError
    std::string wrongTypeMessage;  // the error box's text, for WrongType
    bool echoed = false;           // for NoAnswer: the line sent the polls back
    uint32_t elapsedMs = 0;        // from startTick, or from the poll the unit accepted, to the end
};

// A link status that is the operating system's own error code rather than one of the link's.
bool IsSystemError(int32_t status);

// Whether every step after the connection succeeded.
bool IsComplete(const ReadingRecord& record);

ReadingOutcome RunReading(CP06& link, Clock& clock, const ReadingPlan& plan,
                          ReadingStep::LineSink sink);
