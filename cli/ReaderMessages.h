// What p06-read tells a technician when a reading did not succeed: what happened, what to
// do about it, and the code for support, in the language of --lang.
#pragma once

#include <cstdint>
#include <string>

#include "cli/JsonReport.h"
#include "dialogs/Language.h"
#include "platform/SystemPorts.h"

// The error code of a reading stopped by a signal: neither a link status nor a system code.
inline constexpr int32_t kStatusStopped = 100100;

struct ReadingPlace {
    int32_t port = 0;  // COM number; 0 for a device that has none
    bool portWasOpened = false;
    uint32_t waitSeconds = 0;
    std::string device;  // the system's path of the port
    Language language = Language::French;
    PortWhere where;    // where the port leads, said when it cannot be opened
    PortAccess access;  // who may open it, said when the user may not
};

// The failure an outcome stands for; an empty message for a reading that succeeded.
Failure FailureOf(const ReadingOutcome& outcome, const ReadingPlace& place);

// A port that could not be opened or used, said so that the user can act on it.
std::string PortErrorMessage(const ReadingPlace& place, int32_t systemCode);

// A line that sends the polls back: an adapter in loopback, or another device.
std::string EchoMessage(const ReadingPlace& place);

// How the messages name a port: "COM5", or the device itself for one without a COM number
// (port 0); with the device too where it is not that name: "COM5 (/dev/ttyUSB0)".
std::string ComName(int32_t port, const std::string& device);
std::string PortAndDevice(int32_t port, const std::string& device);

// The first failed step's status after the poll (0: none), the record's error code.
int32_t FirstFailure(const ReadingRecord& record);

// "serial number: no answer (error 100002); circuit version: ..." for the failed steps.
std::string FailedSteps(const ReadingRecord& record, Language language = Language::English);

// The system's reason in the language, with its code: "No space left on device (error 28)".
std::string SystemReasonIn(int32_t code, Language language);

// The error box's text on a terminal: its line breaks (LF LF CR) become one newline.
std::string PlainLines(const std::string& message);
