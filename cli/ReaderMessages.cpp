#include "cli/ReaderMessages.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "cli/JsonReport.h"
#include "cli/ReaderTexts.h"
#include "link/Com_p06.h"
#include "platform/SystemError.h"

namespace texts = reader_texts;

namespace {

std::string ComName(const ReadingPlace& place) { return ::ComName(place.port, place.device); }

std::string PortAndDevice(const ReadingPlace& place) {
    return ::PortAndDevice(place.port, place.device);
}

std::string ByteText(int32_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte & 0xFF));
    return text;
}

std::string StatusText(int32_t status, const ReadingRecord& r, Language l) {
    std::string what;
    switch (status) {
        case kStatusNotADigit:
            what = Say(texts::kNotADigit, l, {ByteText(r.unexpectedByte)});
            break;
        case kStatusOutOfStep:
            what = r.unexpectedCount > 1
                       ? Say(texts::kBytesOutOfTurn, l,
                             {std::to_string(r.unexpectedCount), ByteText(r.unexpectedByte)})
                       : Say(texts::kByteOutOfTurn, l, {ByteText(r.unexpectedByte)});
            break;
        case kStatusLineError:
            what = Say(texts::kLineError, l, {ByteText(r.unexpectedByte)});
            break;
        case kStatusNotConnected:
            what = Text(texts::kNotConnected, l);
            break;
        case kStatusNothingReceived:
            what = Text(texts::kNothingReceived, l);
            break;
        case kStatusRateRefused:
            what = Text(texts::kRateRefused, l);
            break;
        case kStatusNoPort:
            what = Text(texts::kPortClosed, l);
            break;
        default:
            return SystemReasonIn(status, l);
    }
    return Say(texts::kErrorCode, l, {what, std::to_string(status)});
}

// The port as the user can find it: "COM5 → /dev/serial/by-id/usb-… (absent)" for an alias,
// "COM33 (/dev/ttyUSB0, absent)" for a kernel device, "COM5" where the system shows none.
std::string PortName(const ReadingPlace& place) {
    const PortWhere& where = place.where;
    const std::string name = ComName(place);
    if (where.target.empty()) return name;
    const std::string state =
        where.state == PortWhere::State::Absent       ? Text(texts::kAbsent, place.language)
        : where.state == PortWhere::State::NotADevice ? Text(texts::kNotADevice, place.language)
                                                      : "";
    if (!where.alias.empty())
        return name + " → " + where.target + (state.empty() ? "" : " (" + state + ")");
    return name + " (" + where.target + (state.empty() ? "" : ", " + state) + ")";
}

bool PortGone(int32_t status) { return IsSystemError(status) && IsPortGone(status); }

}  // namespace

std::string ComName(int32_t port, const std::string& device) {
    return port == 0 ? device : "COM" + std::to_string(port);
}

std::string PortAndDevice(int32_t port, const std::string& device) {
    const std::string name = ComName(port, device);
    return name + (device.empty() || device == name ? "" : " (" + device + ")");
}

int32_t FirstFailure(const ReadingRecord& r) {
    for (int32_t status :
         {r.typeStatus, r.serialStatus, r.circuitStatus, r.softwareStatus, r.disconnectStatus})
        if (status != kStatusOk) return status;
    return kStatusOk;
}

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

std::string SystemReasonIn(int32_t code, Language language) {
    return Say(texts::kErrorCode, language,
               {SystemErrorText(code, IndexOf(language)), std::to_string(code)});
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

std::string FailedSteps(const ReadingRecord& r, Language language) {
    const struct {
        const TextPair& name;
        int32_t status;
    } steps[] = {{texts::kStepType, r.typeStatus},
                 {texts::kStepSerial, r.serialStatus},
                 {texts::kStepCircuit, r.circuitStatus},
                 {texts::kStepSoftware, r.softwareStatus},
                 {texts::kStepEnd, r.disconnectStatus}};
    // The steps after a failure never run: the reading ends at the failed one. Bytes out of
    // turn or spoiled at the end also disprove the value before it: the two steps share the
    // one cause, said once.
    std::vector<std::pair<std::string, int32_t>> failed;
    for (const auto& step : steps) {
        if (step.status == kStatusOk || step.status == -1) continue;
        const std::string name = Text(step.name, language);
        const bool spoil = step.status == kStatusOutOfStep || step.status == kStatusLineError;
        if (spoil && !failed.empty() && failed.back().second == step.status)
            failed.back().first += ", " + name;
        else
            failed.emplace_back(name, step.status);
    }
    std::string text;
    for (const auto& [names, status] : failed) {
        if (!text.empty()) text += language == Language::French ? " ; " : "; ";
        text +=
            names + (language == Language::French ? " : " : ": ") + StatusText(status, r, language);
    }
    return text;
}

std::string PortErrorMessage(const ReadingPlace& place, int32_t code) {
    const Language l = place.language;
    const std::string name = PortName(place);
    const std::string reason = SystemReasonIn(code, l);
    if (place.portWasOpened) {
        if (PortGone(code)) return Say(texts::kGone, l, {ComName(place), reason});
        return Say(texts::kNotUsed, l, {name, reason});
    }
    if (IsPortInUse(code)) return Say(texts::kInUse, l, {name, reason});
    // No waiting or plugging in mends an alias that leads to a file: the alias must change.
    const PortWhere& where = place.where;
    if (where.state == PortWhere::State::NotADevice && !where.alias.empty())
        return Say(texts::kAliasNotADevice, l,
                   {ComName(place), where.target,
                    Text(where.folder ? texts::kFolder : texts::kFile, l), where.alias});
    // A hint only where it helps: a group the user may join, or root alone.
    const PortAccess& access = place.access;
    if (IsNoAccess(code) && (!access.group.empty() || access.rootOnly)) {
        std::string hint = access.rootOnly ? Say(texts::kRootOnly, l, {place.device, access.mode})
                                           : Say(texts::kJoinGroup, l, {access.group});
        if (access.udevRule) hint = Say(texts::kUdevRule, l, {hint});
        const std::string device = place.where.target.empty() ? PortAndDevice(place) : name;
        return Say(texts::kNoAccess, l, {device, hint, reason});
    }
    if (IsNoSuchPort(code)) return Say(texts::kMissing, l, {name, reason});
    if (IsNotASerialLine(code)) return Say(texts::kNotASerialLine, l, {name, reason});
    return Say(texts::kNotOpened, l, {name, reason});
}

std::string EchoMessage(const ReadingPlace& place) {
    return Say(texts::kEcho, place.language, {PortAndDevice(place)});
}

Failure FailureOf(const ReadingOutcome& outcome, const ReadingPlace& place) {
    const Language l = place.language;
    const std::string name = ComName(place);
    const int32_t connect = outcome.record.connectStatus;
    switch (outcome.result) {
        case ReadingResult::Read:
            return {};
        case ReadingResult::Incomplete: {
            const int32_t first = FirstFailure(outcome.record);
            // Every step after an unplug fails alike: say what happened once.
            if (PortGone(first))
                return {first, Say(texts::kGone, l, {name, SystemReasonIn(first, l)})};
            const std::string failed =
                Say(texts::kIncomplete, l, {name, FailedSteps(outcome.record, l)});
            const bool spoiled =
                first == kStatusNotADigit || first == kStatusOutOfStep || first == kStatusLineError;
            return {first, spoiled ? Say(texts::kSpoiledRemedy, l, {failed}) : failed};
        }
        case ReadingResult::WrongType:
            return {kStatusWrongType,
                    Say(texts::kWrongType, l,
                        {name, JsonString(outcome.record.type), CP06::DeviceName()})};
        case ReadingResult::NoAnswer:
            if (outcome.echoed) return {connect, EchoMessage(place)};
            return {connect, Say(texts::kNoAnswer, l,
                                 {PortAndDevice(place), std::to_string(place.waitSeconds)})};
        case ReadingResult::Refused:
            return {connect, Say(texts::kRefused, l, {name})};
        case ReadingResult::PortError:
            return {outcome.portError, PortErrorMessage(place, outcome.portError)};
        case ReadingResult::Stopped:
            return {kStatusStopped, Text(texts::kStopped, l)};
    }
    return {};
}
