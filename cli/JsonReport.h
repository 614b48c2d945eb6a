// The reading as one JSON object, for scripts:
// {"time": "2026-03-01T08:30:00Z", "port": 5, "device": "/dev/ttyUSB0", "type": "P06",
//  "serialNumber": 4660, "circuitVersion": 3, "softwareVersion": "2.5",
//  "status": {"connect": 0, ...}, "elapsedMs": 4321, "result": "read", "error": null,
//  "version": "1.1.0"}
// A value whose step failed or never ran is null; so is a status whose step never ran, and
// the port and device when there was none.
#pragma once

#include <cstdint>
#include <string>

#include "cli/PacedReading.h"

// What went wrong, for the record and standard error; an empty message: nothing.
struct Failure {
    int32_t code = 0;  // the link status or the operating system's code
    std::string message;
};

// What a record says besides the reading itself.
struct RecordContext {
    int32_t port = 0;    // the COM number read, 0 when no port was found
    std::string device;  // the system's path of the port
    int64_t unixTime = 0;
    Failure error;
    bool again = false;  // a unit read before in the same run, presented again
};

// A JSON string literal, quotes included. Printable ASCII passes as is; every other byte
// (the unit's type identifier may hold any) is written \u00XX, the byte as its code point.
std::string JsonString(const std::string& bytes);

// A JSON string literal of text (a message, a path): only quotes, backslashes and control
// bytes are escaped; a byte that is not part of valid UTF-8 becomes U+FFFD.
std::string JsonText(const std::string& text);

// The text with each byte that is not part of a valid UTF-8 sequence replaced by U+FFFD.
std::string ValidUtf8(const std::string& text);

// "read", "incomplete", "wrong-type", "no-answer", "refused", "port-error", "stopped".
const char* ResultName(ReadingResult result);
// The record's result: ResultName's, or "read-again" for a unit read again in the same run.
const char* RecordResult(const RecordContext& context, const ReadingOutcome& outcome);

std::string ReadingJson(const RecordContext& context, const ReadingOutcome& outcome);

// The record's values as text, empty for null; the type's bytes as they came.
struct RecordValues {
    std::string type, serialNumber, circuitVersion, softwareVersion;
};
RecordValues ValuesOf(const ReadingRecord& record);
