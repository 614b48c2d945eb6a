#include "cli/ReaderMessages.h"

#include "cli/OutputFile.h"
#include "link/Com_p06.h"
#include "platform/SystemPorts.h"

namespace {

std::string ComName(int32_t port) { return "COM" + std::to_string(port); }

std::string StatusText(int32_t status) {
    switch (status) {
        case kStatusNotConnected:
            return "not connected (error " + std::to_string(status) + ")";
        case kStatusNothingReceived:
            return "no answer (error " + std::to_string(status) + ")";
        case kStatusRateRefused:
            return "rate change refused (error " + std::to_string(status) + ")";
        case kStatusNoPort:
            return "port closed (error " + std::to_string(status) + ")";
        default:
            return SystemReason(status);
    }
}

// The first failed step's status, for the record's error code.
int32_t FirstFailure(const ReadingRecord& r) {
    for (int32_t status :
         {r.typeStatus, r.serialStatus, r.circuitStatus, r.softwareStatus, r.disconnectStatus})
        if (status != kStatusOk) return status;
    return kStatusOk;
}

}  // namespace

std::string PlainLines(const std::string& message) {
    std::string text;
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\n' || message[i] == '\r') {
            while (i + 1 < message.size() && (message[i + 1] == '\n' || message[i + 1] == '\r'))
                ++i;
            text += '\n';
        } else {
            text += message[i];
        }
    }
    return text;
}

std::string FailedSteps(const ReadingRecord& r) {
    const struct {
        const char* name;
        int32_t status;
    } steps[] = {{"type", r.typeStatus},
                 {"serial number", r.serialStatus},
                 {"circuit version", r.circuitStatus},
                 {"software version", r.softwareStatus},
                 {"end of conversation", r.disconnectStatus}};
    std::string text;
    for (const auto& step : steps) {
        if (step.status == kStatusOk) continue;
        if (!text.empty()) text += "; ";
        text += std::string(step.name) + ": " +
                (step.status == -1 ? std::string("not run") : StatusText(step.status));
    }
    return text;
}

std::string PortErrorMessage(const ReadingPlace& place, int32_t code) {
    const std::string name = ComName(place.port);
    const bool opened = place.portWasOpened;
    if (!opened && IsPortInUse(code))
        return name +
               " is in use by another program; close it and try again: " + SystemReason(code);
    if (!opened && IsNoAccess(code) && !AccessHint().empty()) {
        return "no access to " + name + " (" + place.device + "): " + AccessHint() + ": " +
               SystemReason(code);
    }
    return name + (opened ? " could not be used: " : " could not be opened: ") + SystemReason(code);
}

Failure FailureOf(const ReadingOutcome& outcome, const ReadingPlace& place) {
    const std::string name = ComName(place.port);
    const int32_t connect = outcome.record.connectStatus;
    switch (outcome.result) {
        case ReadingResult::Read:
            return {};
        case ReadingResult::Incomplete:
            return {FirstFailure(outcome.record),
                    "incomplete reading on " + name + ", failed: " + FailedSteps(outcome.record)};
        case ReadingResult::WrongType:
            return {kStatusWrongType, PlainLines(outcome.wrongTypeMessage)};
        case ReadingResult::NoAnswer:
            return {connect, "no answer from the unit on " + name + " within " +
                                 std::to_string(place.waitSeconds) + " s"};
        case ReadingResult::Refused:
            return {connect, "the unit on " + name +
                                 " refused the poll (0x85): it is busy or not ready; try again"};
        case ReadingResult::PortError:
            return {outcome.portError, PortErrorMessage(place, outcome.portError)};
        case ReadingResult::Stopped:
            return {kStatusStopped, "stopped before the reading ended"};
    }
    return {};
}
