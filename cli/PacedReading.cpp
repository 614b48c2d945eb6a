#include "cli/PacedReading.h"

#include <utility>

bool IsSystemError(int32_t status) { return status != kStatusOk && status < kStatusNotConnected; }

ReadingOutcome RunReading(CP06& link, Clock& clock, const ReadingPlan& plan,
                          ReadingStep::LineSink sink) {
    ReadingStep step(link, std::move(sink));
    ReadingOutcome outcome;
    ReadingState state = kStateConnect;
    for (bool firstTick = true;; firstTick = false) {
        if (plan.paced && !firstTick) clock.Sleep(kTickIntervalMs);
        const ReadingStep::Result tick = step.Tick(state, plan.language);

        if (state == kStateConnect && tick.nextState == kStateConnect) {
            // A port that cannot be opened does not heal by waiting; a silent unit may
            // still be switched on.
            if (IsSystemError(tick.status)) {
                outcome.result = ReadingResult::PortError;
                outcome.portError = tick.status;
                break;
            }
            if (clock.TickCount() - plan.startTick >= plan.waitMs) {
                outcome.result = ReadingResult::NoAnswer;
                break;
            }
            continue;
        }
        if (tick.report == ReadingStep::Report::ReadFailed) {
            outcome.wrongTypeMessage = step.ReportWrongType(plan.language);
            outcome.result = ReadingResult::WrongType;
            break;
        }
        if (tick.report == ReadingStep::Report::ReadDone) {
            step.ReportDone(plan.language);
            outcome.result = ReadingResult::Read;
            break;
        }
        state = tick.nextState;
    }
    outcome.record = step.Record();
    outcome.elapsedMs = clock.TickCount() - plan.startTick;
    return outcome;
}
