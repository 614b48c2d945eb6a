#include "cli/JsonReport.h"

#include <cstdio>

#include "Version.h"
#include "cli/UtcTime.h"

namespace {

// ReadingRecord marks a step that never ran with the status -1.
constexpr int32_t kNotRun = -1;

std::string Status(int32_t status) { return status == kNotRun ? "null" : std::to_string(status); }

std::string OrNull(const std::string& text, bool quoted) {
    if (text.empty()) return "null";
    return quoted ? JsonString(text) : text;
}

std::string ErrorJson(const Failure& error) {
    if (error.message.empty()) return "null";
    return "{\"code\": " + std::to_string(error.code) +
           ", \"message\": " + JsonText(error.message) + "}";
}

// Bytes outside printable ASCII become \u00XX, the byte as its code point, except that
// UTF-8 text keeps its bytes above ASCII.
std::string Quoted(const std::string& bytes, bool utf8) {
    std::string json = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            json += '\\';
            json += c;
        } else if ((byte >= 0x20 && byte < 0x7F) || (utf8 && byte > 0x7F)) {
            json += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            json += escape;
        }
    }
    return json + "\"";
}

// The length of the valid UTF-8 sequence at text[at], 0 when there is none.
size_t SequenceLength(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    if (length == 0 || at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    return length;
}

}  // namespace

std::string ValidUtf8(const std::string& text) {
    std::string valid;
    for (size_t at = 0; at < text.size();) {
        const size_t length = SequenceLength(text, at);
        if (length == 0) {
            valid += "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER
            ++at;
        } else {
            valid.append(text, at, length);
            at += length;
        }
    }
    return valid;
}

std::string JsonString(const std::string& bytes) { return Quoted(bytes, false); }

std::string JsonText(const std::string& text) { return Quoted(ValidUtf8(text), true); }

const char* ResultName(ReadingResult result) {
    switch (result) {
        case ReadingResult::Read:
            return "read";
        case ReadingResult::Incomplete:
            return "incomplete";
        case ReadingResult::WrongType:
            return "wrong-type";
        case ReadingResult::NoAnswer:
            return "no-answer";
        case ReadingResult::Refused:
            return "refused";
        case ReadingResult::PortError:
            return "port-error";
        case ReadingResult::Stopped:
            return "stopped";
    }
    return "port-error";
}

RecordValues ValuesOf(const ReadingRecord& r) {
    RecordValues values;
    // A wrong type still came from the unit: it is the value.
    if (r.typeStatus == kStatusOk || r.typeStatus == kStatusWrongType) values.type = r.type;
    if (r.serialStatus == kStatusOk) values.serialNumber = std::to_string(r.serialNumber);
    if (r.circuitStatus == kStatusOk) values.circuitVersion = std::to_string(r.circuitVersion);
    if (r.softwareStatus == kStatusOk) {
        values.softwareVersion =
            std::to_string(r.softwareFirst) + "." + std::to_string(r.softwareSecond);
    }
    return values;
}

const char* RecordResult(const RecordContext& context, const ReadingOutcome& outcome) {
    return context.again && outcome.result == ReadingResult::Read ? "read-again"
                                                                  : ResultName(outcome.result);
}

std::string ReadingJson(const RecordContext& context, const ReadingOutcome& outcome) {
    const ReadingRecord& r = outcome.record;
    const RecordValues values = ValuesOf(r);
    const bool typeKnown = r.typeStatus == kStatusOk || r.typeStatus == kStatusWrongType;
    std::string json = "{";
    json += "\"time\": " + JsonString(UtcTime(context.unixTime));
    json +=
        ", \"port\": " + (context.port == 0 ? std::string("null") : std::to_string(context.port));
    json += ", \"device\": " + (context.device.empty() ? "null" : JsonText(context.device));
    json += ", \"type\": " + (typeKnown ? JsonString(values.type) : std::string("null"));
    json += ", \"serialNumber\": " + OrNull(values.serialNumber, false);
    json += ", \"circuitVersion\": " + OrNull(values.circuitVersion, false);
    json += ", \"softwareVersion\": " + OrNull(values.softwareVersion, true);
    json += ", \"status\": {";
    json += "\"connect\": " + Status(r.connectStatus);
    json += ", \"type\": " + Status(r.typeStatus);
    json += ", \"serialNumber\": " + Status(r.serialStatus);
    json += ", \"circuitVersion\": " + Status(r.circuitStatus);
    json += ", \"softwareVersion\": " + Status(r.softwareStatus);
    json += ", \"disconnect\": " + Status(r.disconnectStatus);
    json += "}";
    json += ", \"elapsedMs\": " + std::to_string(outcome.elapsedMs);
    json += ", \"result\": \"" + std::string(RecordResult(context, outcome)) + "\"";
    json += ", \"error\": " + ErrorJson(context.error);
    json += ", \"version\": " + JsonString(QUENLOR_VERSION);
    return json + "}";
}
