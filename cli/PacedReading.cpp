#include "cli/PacedReading.h"

#include <utility>

#include "cli/EnglishLines.h"

bool IsSystemError(int32_t status) { return status != kStatusOk && status < kStatusNotConnected; }

bool IsComplete(const ReadingRecord& r) {
    return r.typeStatus == kStatusOk && r.serialStatus == kStatusOk &&
           r.circuitStatus == kStatusOk && r.softwareStatus == kStatusOk &&
           r.disconnectStatus == kStatusOk;
}

ReadingOutcome RunReading(CP06& link, Clock& clock, const ReadingPlan& plan,
                          ReadingStep::LineSink sink) {
    // Which part of the reading writes, for the English lines the window leaves blank.
    int32_t writer = kStateConnect;
    int32_t lineOfWriter = 0;
    const ReadingStep* self = nullptr;
    ReadingStep step(link, [&](const std::string& line) {
        sink(plan.language == Language::English
                 ? CompleteEnglishLine(writer, lineOfWriter, line, self->Record())
                 : line);
        ++lineOfWriter;
    });
    self = &step;
    const auto elapsed = [&] { return clock.TickCount() - plan.startTick; };

    ReadingOutcome outcome;
    ReadingState state = kStateConnect;
    uint32_t acceptedPollTick = plan.startTick;
    for (bool firstTick = true;; firstTick = false) {
        if (plan.stopRequested()) {
            outcome.result = ReadingResult::Stopped;
            break;
        }
        if (!firstTick) {
            const uint32_t pause = plan.paced ? kTickIntervalMs : 0;
            // The whole wait is bounded: no poll goes out once it is over, so a silent
            // unit costs at most the wait and one byte's time-out (the first poll, which
            // always goes out, at least the purge and that time-out). Closing the port
            // afterwards adds the end of the conversation.
            if (state == kStateConnect && elapsed() + pause + kPollDelayMs >= plan.waitMs) {
                outcome.result = plan.refused() ? ReadingResult::Refused : ReadingResult::NoAnswer;
                outcome.echoed = plan.echoed();
                break;
            }
            if (pause != 0) clock.Sleep(pause);
        }
        // Bytes after the accepted poll (its answer twice, noise) answer nothing asked: read
        // them now, or the type would be read from them and a good unit called wrong.
        if (state == kStateDeviceType) link.ExpectQuietLine();
        writer = state;
        lineOfWriter = 0;
        const uint32_t tickStart = clock.TickCount();
        const ReadingStep::Result tick = step.Tick(state, plan.language);
        // The connect step purges the line before its one poll.
        if (state == kStateConnect && tick.nextState != kStateConnect)
            acceptedPollTick = tickStart + kPollDelayMs;

        if (state == kStateConnect && tick.nextState == kStateConnect) {
            // A port that cannot be opened does not heal by waiting; a silent unit may
            // still be switched on.
            if (IsSystemError(tick.status)) {
                if (plan.waitThroughPortErrors && plan.portErrorSeen(tick.status)) {
                    clock.Sleep(kPortRetryMs);
                    continue;
                }
                outcome.result = ReadingResult::PortError;
                outcome.portError = tick.status;
                break;
            }
            plan.pollUnanswered();
            if (plan.endOnRefusal && plan.refused()) {
                outcome.result = ReadingResult::Refused;
                break;
            }
            continue;
        }
        if (tick.report == ReadingStep::Report::ReadFailed) {
            writer = kStateFinish + 1;
            lineOfWriter = 0;
            if (tick.failure == ReadingStep::kTransmissionFailure) {
                step.ReportTransmissionFailure(plan.language);
                outcome.result = ReadingResult::Incomplete;
            } else {
                outcome.wrongTypeMessage = step.ReportWrongType(plan.language);
                outcome.result = ReadingResult::WrongType;
            }
            break;
        }
        if (tick.report == ReadingStep::Report::ReadDone) {
            writer = kReportDoneWriter;
            lineOfWriter = 0;
            step.ReportDone(plan.language);
            outcome.result =
                IsComplete(step.Record()) ? ReadingResult::Read : ReadingResult::Incomplete;
            break;
        }
        state = tick.nextState;
    }
    outcome.record = step.Record();
    outcome.elapsedMs = plan.elapsedFromAcceptedPoll && state != kStateConnect
                            ? clock.TickCount() - acceptedPollTick
                            : elapsed();
    return outcome;
}
