#include "cli/JsonReport.h"

#include <cstdio>

namespace {

// ReadingRecord marks a step that never ran with the status -1.
constexpr int32_t kNotRun = -1;

std::string Status(int32_t status) { return status == kNotRun ? "null" : std::to_string(status); }

std::string Number(int32_t status, uint32_t value) {
    return status == kNotRun ? "null" : std::to_string(value);
}

}  // namespace

std::string JsonString(const std::string& bytes) {
    std::string json = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            json += '\\';
            json += c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            json += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            json += escape;
        }
    }
    return json + "\"";
}

const char* ResultName(ReadingResult result) {
    switch (result) {
        case ReadingResult::Read:
            return "read";
        case ReadingResult::WrongType:
            return "wrong-type";
        case ReadingResult::NoAnswer:
            return "no-answer";
        case ReadingResult::PortError:
            return "port-error";
    }
    return "port-error";
}

std::string ReadingJson(int32_t port, const ReadingOutcome& outcome) {
    const ReadingRecord& r = outcome.record;
    const std::string software =
        r.softwareStatus == kNotRun
            ? "null"
            : JsonString(std::to_string(r.softwareFirst) + "." + std::to_string(r.softwareSecond));
    std::string json = "{";
    json += "\"port\": " + (port == 0 ? std::string("null") : std::to_string(port));
    json += ", \"type\": " + (r.typeStatus == kNotRun ? std::string("null") : JsonString(r.type));
    json += ", \"serialNumber\": " + Number(r.serialStatus, r.serialNumber);
    json += ", \"circuitVersion\": " + Number(r.circuitStatus, r.circuitVersion);
    json += ", \"softwareVersion\": " + software;
    json += ", \"status\": {";
    json += "\"connect\": " + Status(r.connectStatus);
    json += ", \"type\": " + Status(r.typeStatus);
    json += ", \"serialNumber\": " + Status(r.serialStatus);
    json += ", \"circuitVersion\": " + Status(r.circuitStatus);
    json += ", \"softwareVersion\": " + Status(r.softwareStatus);
    json += ", \"disconnect\": " + Status(r.disconnectStatus);
    json += "}";
    json += ", \"elapsedMs\": " + std::to_string(outcome.elapsedMs);
    json += ", \"result\": \"" + std::string(ResultName(outcome.result)) + "\"";
    return json + "}";
}
