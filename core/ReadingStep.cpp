#include "core/ReadingStep.h"

#include <cstdio>
#include <string>

#include "core/MainWindowTexts.h"

namespace {

using namespace main_window_texts;

// printf-style formatting of one line; the English entries without placeholders pass as is.
template <typename... Args>
std::string Format(const char* format, Args... args) {
    const int size = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<size_t>(size), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

}  // namespace

ReadingStep::ReadingStep(CP06& link, LineSink sink) : link_(link), sink_(std::move(sink)) {}

ReadingStep::Result ReadingStep::Tick(ReadingState state, Language language) {
    const std::string device = CP06::DeviceName();
    switch (state) {
        case kStateConnect: {
            const int32_t status = link_.Connect(1);
            record_.connectStatus = status;
            if (status != kStatusOk) return {kStateConnect, Report::None, status};
            Write(Text(kConnected, language));
            Write(kBlank);
            return {kStateDeviceType, Report::None, status};
        }
        case kStateDeviceType: {
            Write(Text(kChecking, language));
            const int32_t status = link_.CheckType();
            record_.typeStatus = status;
            // All three bytes as they came once read, a NUL among them included.
            record_.type = status == kStatusOk || status == kStatusWrongType
                               ? std::string(link_.LastTypeId(), 3)
                               : std::string(link_.LastTypeId());
            // A type spoiled on the line (a digit sent twice) is not another unit: what it
            // shifted still comes after the last acknowledgement. A type that is right shows
            // no value, so what follows it is left to the next step's look.
            if (status == kStatusWrongType && !QuietAfter(record_.typeStatus))
                return Failed(state, record_.typeStatus);
            if (status == kStatusWrongType) return {kStateDeviceType, Report::ReadFailed, status};
            if (status != kStatusOk) return Failed(state, status);
            Write(Format(Text(kTypeConfirmed, language), device.c_str()));
            Write(kBlank);
            return {kStateSerialNumber, Report::None, status};
        }
        case kStateSerialNumber: {
            if (!QuietBefore(record_.typeStatus)) return Failed(state, record_.typeStatus);
            uint32_t serial = 0;
            const int32_t status = link_.ReadSerialNumber(serial);
            record_.serialStatus = status;
            if (status == kStatusOk) QuietAfter(record_.serialStatus);
            if (record_.serialStatus != kStatusOk) return Failed(state, record_.serialStatus);
            record_.serialNumber = serial;
            Write(Format(Text(kSerialNumber, language), serial));
            return {kStateCircuitVersion, Report::None, status};
        }
        case kStateCircuitVersion: {
            if (!QuietBefore(record_.serialStatus)) return Failed(state, record_.serialStatus);
            int32_t version = 0;
            const int32_t status = link_.ReadCircuitVersion(version);
            record_.circuitStatus = status;
            if (status == kStatusOk) QuietAfter(record_.circuitStatus);
            if (record_.circuitStatus != kStatusOk) return Failed(state, record_.circuitStatus);
            record_.circuitVersion = static_cast<uint32_t>(version);
            Write(Format(Text(kCircuitVersion, language), static_cast<unsigned>(version)));
            return {kStateSoftwareVersion, Report::None, status};
        }
        case kStateSoftwareVersion: {
            if (!QuietBefore(record_.circuitStatus)) return Failed(state, record_.circuitStatus);
            int32_t first = 0;
            int32_t second = 0;
            const int32_t status = link_.ReadSoftwareVersion(first, second);
            record_.softwareStatus = status;
            if (status == kStatusOk) QuietAfter(record_.softwareStatus);
            if (record_.softwareStatus != kStatusOk) return Failed(state, record_.softwareStatus);
            record_.softwareFirst = static_cast<uint32_t>(first);
            record_.softwareSecond = static_cast<uint32_t>(second);
            Write(Format(Text(kSoftwareVersion, language), static_cast<unsigned>(first),
                         static_cast<unsigned>(second)));
            return {kStateFinish, Report::None, status};
        }
        case kStateFinish: {
            // The end of the conversation, and the quiet after it, may still show the last
            // answer spoiled, so the success line waits for both.
            if (!QuietBefore(record_.softwareStatus)) return Failed(state, record_.softwareStatus);
            int32_t status = link_.Disconnect();
            if (status == kStatusOk) QuietAfter(status);
            record_.disconnectStatus = status;
            // The last value is proved only by an end that ran in step: bytes out of turn or
            // spoiled there may be its tail.
            if (status == kStatusOutOfStep || status == kStatusLineError)
                record_.softwareStatus = status;
            if (status != kStatusOk) return Failed(state, status);
            Write(Text(kTransmissionDone, language));
            Write(kBlank);
            return {kStateFinish, Report::ReadDone, status};
        }
        default:
            return {state, Report::None, kStatusOk};
    }
}

bool ReadingStep::QuietBefore(int32_t& previousStatus) {
    const int32_t status = link_.ExpectQuietLine();
    if (status == kStatusOk) return true;
    previousStatus = status;
    return false;
}

bool ReadingStep::QuietAfter(int32_t& status) {
    const int32_t quiet = link_.ExpectQuietAfterAnswer();
    if (quiet == kStatusOk) return true;
    status = quiet;
    return false;
}

ReadingStep::Result ReadingStep::Failed(ReadingState state, int32_t status) {
    if (status == kStatusNotADigit || status == kStatusOutOfStep || status == kStatusLineError) {
        record_.unexpectedByte = link_.UnexpectedByte();
        record_.unexpectedCount = link_.UnexpectedCount();
    }
    return {state, Report::ReadFailed, status, kTransmissionFailure};
}

std::string ReadingStep::TransmissionFailureMessage(Language language) {
    return Format(Text(kTransmissionErrorMessage, language), CP06::DeviceName().c_str());
}

std::string ReadingStep::ReportTransmissionFailure(Language language) {
    // A failed end of the conversation was already tried by its own step. An end byte the
    // unit did not answer is not sent again: a unit gone would cost the time-outs twice.
    // What the failure left on the line is read there and not counted against the end.
    if (record_.disconnectStatus != kStatusNothingReceived) {
        const int32_t status = link_.Disconnect();
        if (record_.disconnectStatus == -1 && status != kStatusOutOfStep)
            record_.disconnectStatus = status;
    }
    Write(kBlank);
    Write(Text(kTransmissionErrorTitle, language));
    return TransmissionFailureMessage(language);
}

std::string ReadingStep::WrongTypeMessage(Language language) {
    const std::string device = CP06::DeviceName();
    return Format(Text(kWrongTypeMessage, language), device.c_str(), device.c_str());
}

std::string ReadingStep::ReportWrongType(Language language) {
    record_.disconnectStatus = link_.Disconnect();
    Write(kBlank);
    Write(Text(kWrongTypeTitle, language));
    return WrongTypeMessage(language);
}

void ReadingStep::ReportDone(Language language) {
    Write(Text(kTransferDone, language));
    Write(kBlank);
    Write(kSeparator);
    Write(Format(Text(kNewReading, language), CP06::DeviceName().c_str()));
}
