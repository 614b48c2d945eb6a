#include "app/ReadingStep.h"

#include <cstdio>
#include <string>

#include "app/MainWindowTexts.h"

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
            record_.type = link_.LastTypeId();
            if (status == kStatusWrongType) return {kStateDeviceType, Report::ReadFailed, status};
            if (status != kStatusOk) return Failed(state, status);
            Write(Format(Text(kTypeConfirmed, language), device.c_str()));
            Write(kBlank);
            return {kStateSerialNumber, Report::None, status};
        }
        case kStateSerialNumber: {
            uint32_t serial = 0;
            const int32_t status = link_.ReadSerialNumber(serial);
            record_.serialStatus = status;
            if (status != kStatusOk) return Failed(state, status);
            record_.serialNumber = serial;
            Write(Format(Text(kSerialNumber, language), serial));
            return {kStateCircuitVersion, Report::None, status};
        }
        case kStateCircuitVersion: {
            int32_t version = 0;
            const int32_t status = link_.ReadCircuitVersion(version);
            record_.circuitStatus = status;
            if (status != kStatusOk) return Failed(state, status);
            record_.circuitVersion = static_cast<uint32_t>(version);
            Write(Format(Text(kCircuitVersion, language), static_cast<unsigned>(version)));
            return {kStateSoftwareVersion, Report::None, status};
        }
        case kStateSoftwareVersion: {
            int32_t first = 0;
            int32_t second = 0;
            const int32_t status = link_.ReadSoftwareVersion(first, second);
            record_.softwareStatus = status;
            if (status != kStatusOk) return Failed(state, status);
            record_.softwareFirst = static_cast<uint32_t>(first);
            record_.softwareSecond = static_cast<uint32_t>(second);
            Write(Format(Text(kSoftwareVersion, language), static_cast<unsigned>(first),
                         static_cast<unsigned>(second)));
            return {kStateFinish, Report::None, status};
        }
        case kStateFinish: {
            // The end of the conversation, and the quiet after it, may still show the last
            // answer spoiled, so the success line waits for both.
            int32_t status = link_.Disconnect();
            if (status == kStatusOk) {
                link_.BusyWait(kQuietAfterEndMs);
                status = link_.ExpectQuietLine();
            }
            record_.disconnectStatus = status;
            if (status != kStatusOk) return Failed(state, status);
            Write(Text(kTransmissionDone, language));
            Write(kBlank);
            return {kStateFinish, Report::ReadDone, status};
        }
        default:
            return {state, Report::None, kStatusOk};
    }
}

ReadingStep::Result ReadingStep::Failed(ReadingState state, int32_t status) {
    if (status == kStatusNotADigit || status == kStatusOutOfStep) {
        record_.unexpectedByte = link_.UnexpectedByte();
        record_.unexpectedCount = link_.UnexpectedCount();
    }
    return {state, Report::ReadFailed, status, kTransmissionFailure};
}

std::string ReadingStep::TransmissionFailureMessage(Language language) {
    return Format(Text(kTransmissionErrorMessage, language), CP06::DeviceName().c_str());
}

std::string ReadingStep::ReportTransmissionFailure(Language language) {
    // A failed end of the conversation was already tried by its own step.
    const int32_t status = link_.Disconnect();
    if (record_.disconnectStatus == -1) record_.disconnectStatus = status;
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
