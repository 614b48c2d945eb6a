#include "cli/ReaderMessages.h"

#include <cstdio>

#include "cli/OutputFile.h"
#include "cli/ReaderTexts.h"
#include "link/Com_p06.h"
#include "platform/SystemPorts.h"

namespace {

std::string ComName(int32_t port) { return "COM" + std::to_string(port); }

std::string ByteText(int32_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte & 0xFF));
    return text;
}

std::string StatusText(int32_t status, const ReadingRecord& r) {
    const std::string code = " (error " + std::to_string(status) + ")";
    switch (status) {
        case kStatusNotADigit:
            return "the byte " + ByteText(r.unexpectedByte) + " is not a digit" + code;
        case kStatusOutOfStep:
            if (r.unexpectedCount > 1) {
                return std::to_string(r.unexpectedCount) + " bytes came out of turn, from " +
                       ByteText(r.unexpectedByte) + code;
            }
            return "the byte " + ByteText(r.unexpectedByte) + " came out of turn" + code;
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

std::string Say(const TextPair& text, Language language,
                std::initializer_list<std::string> arguments) {
    const std::string pattern = Text(text, language);
    std::string said;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const size_t n = i + 1 < pattern.size() ? static_cast<size_t>(pattern[i + 1] - '1') : 9;
        if (pattern[i] == '%' && n < arguments.size()) {
            said += *(arguments.begin() + n);
            ++i;
        } else {
            said += pattern[i];
        }
    }
    return said;
}

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
    // The steps after a failure never run: the reading ends at the failed one.
    std::string text;
    for (const auto& step : steps) {
        if (step.status == kStatusOk || step.status == -1) continue;
        if (!text.empty()) text += "; ";
        text += std::string(step.name) + ": " + StatusText(step.status, r);
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

std::string EchoMessage(const ReadingPlace& place) {
    const bool shown = !place.device.empty() && place.device != ComName(place.port);
    return ComName(place.port) + (shown ? " (" + place.device + ")" : std::string()) +
           " sends back what it receives: is it the transmitter's adapter?";
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
            if (outcome.echoed) return {connect, EchoMessage(place)};
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
