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
            // Any other failure is a line that went quiet, not a wrong unit: the reading goes on.
            Write(Format(Text(kTypeConfirmed, language), device.c_str()));
            Write(kBlank);
            return {kStateSerialNumber, Report::None, status};
        }
        case kStateSerialNumber: {
            uint32_t serial = 0;
            const int32_t status = link_.ReadSerialNumber(serial);
            record_.serialStatus = status;
            record_.serialNumber = serial;
            Write(Format(Text(kSerialNumber, language), serial));
            return {kStateCircuitVersion, Report::None, status};
        }
        case kStateCircuitVersion: {
            int32_t version = 0;
            const int32_t status = link_.ReadCircuitVersion(version);
            record_.circuitStatus = status;
            record_.circuitVersion = static_cast<uint32_t>(version);
            Write(Format(Text(kCircuitVersion, language), static_cast<unsigned>(version)));
            return {kStateSoftwareVersion, Report::None, status};
        }
        case kStateSoftwareVersion: {
            int32_t first = 0;
            int32_t second = 0;
            const int32_t status = link_.ReadSoftwareVersion(first, second);
            record_.softwareStatus = status;
            record_.softwareFirst = static_cast<uint32_t>(first);
            record_.softwareSecond = static_cast<uint32_t>(second);
            Write(Format(Text(kSoftwareVersion, language), static_cast<unsigned>(first),
                         static_cast<unsigned>(second)));
            return {kStateFinish, Report::None, status};
        }
        case kStateFinish: {
            Write(Text(kTransmissionDone, language));
            const int32_t status = link_.Disconnect();
            record_.disconnectStatus = status;
            Write(kBlank);
            return {kStateFinish, Report::ReadDone, status};
        }
        default:
            return {state, Report::None, kStatusOk};
    }
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
