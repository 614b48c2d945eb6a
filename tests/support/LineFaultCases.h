// Every line fault the simulated unit can put on every step of a reading, and what the
// reader and the window must make of it. Whatever the fault, no value that did not come
// whole and in turn is recorded or shown as read; the rows say how each reading ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/SystemError.h"
#include "sim/DeviceModel.h"

// A unit whose values hold the digits A to F, so that a lower-case digit shows.
inline UnitConfig HexDigitUnit() {
    UnitConfig unit;
    unit.serialNumber = 0xABCD1234u;  // 2882343476
    unit.circuitVersion = 0xAB;       // 171
    unit.softwareFirst = 0xCD;        // 205.239
    unit.softwareSecond = 0xEF;
    return unit;
}

enum class FaultEnd { Read, Incomplete, NoAnswer };

// The line a case runs on: an ideal one, or a slow adapter or unit (FaultConfig's fields).
struct SlowLine {
    uint32_t latencyTimerMs = 0;
    uint32_t answerDelayMinMs = 0;
    uint32_t answerDelayMaxMs = 0;
    bool rateAcknowledgeAlone = false;
};

// Slow lines, as adapters and units are: an FTDI adapter's default latency timer (16 ms) and
// longer ones, each with a unit that sends nothing after its rate change's 0x84; a unit that
// takes 20 to 25 ms to answer, on an adapter that hands on bytes at once.
inline constexpr SlowLine kTimer16 = {16, 0, 0, true};
inline constexpr SlowLine kTimer25 = {25, 0, 0, true};
inline constexpr SlowLine kTimer32 = {32, 0, 0, true};
inline constexpr SlowLine kTimer50 = {50, 0, 0, true};
inline constexpr SlowLine kSlowUnit = {0, 20, 25, false};

struct LineFaultCase {
    const char* fault;  // p06-sim's --fault STEP:KIND
    LineStep step;
    LineFault kind;
    FaultEnd reader;
    // The step whose failure the window reports (2, the type, to 6, the end); 0 when the
    // window reads the unit, 1 when it goes on polling.
    int32_t windowFailsAt;
    const char* failedSteps;  // the reader's message after "failed: "; see FailedStepsText
    bool pty;                 // also run over a pseudo-terminal
    SlowLine line = {};
};

// clang-format off
inline constexpr LineFaultCase kLineFaultCases[] = {
    // After the accepted poll the reader reads what came out of turn before the type; the
    // window's type step finds it there.
    {"poll:late", LineStep::Poll, LineFault::Late, FaultEnd::Read, 0, "", false},
    {"poll:noise", LineStep::Poll, LineFault::Noise, FaultEnd::Read, 0, "", false},
    {"poll:truncated", LineStep::Poll, LineFault::Truncated, FaultEnd::Incomplete, 2, "type: no answer (error 100002)", false},
    {"poll:doubled", LineStep::Poll, LineFault::Doubled, FaultEnd::Read, 2, "", true},
    {"poll:extra-digits", LineStep::Poll, LineFault::ExtraDigits, FaultEnd::Read, 2, "", false},
    {"poll:bad-digit", LineStep::Poll, LineFault::BadDigit, FaultEnd::Read, 0, "", false},
    {"poll:lower-case", LineStep::Poll, LineFault::LowerCase, FaultEnd::Read, 0, "", false},
    {"poll:silent", LineStep::Poll, LineFault::Silent, FaultEnd::Read, 0, "", false},
    {"poll:unplug", LineStep::Poll, LineFault::Unplug, FaultEnd::Read, 0, "", false},
    {"poll:echo", LineStep::Poll, LineFault::Echo, FaultEnd::NoAnswer, 1, "", true},
    {"type:late", LineStep::Type, LineFault::Late, FaultEnd::Incomplete, 2, "type: no answer (error 100002)", false},
    {"type:noise", LineStep::Type, LineFault::Noise, FaultEnd::Incomplete, 2, "type: the byte 0x55 is not a digit (error 100021)", false},
    {"type:truncated", LineStep::Type, LineFault::Truncated, FaultEnd::Incomplete, 2, "type: no answer (error 100002)", true},
    {"type:doubled", LineStep::Type, LineFault::Doubled, FaultEnd::Incomplete, 2, "type: the byte 0x36 came out of turn (error 100022)", false},
    {"type:extra-digits", LineStep::Type, LineFault::ExtraDigits, FaultEnd::Incomplete, 3, "type: 2 bytes came out of turn, from 0x30 (error 100022)", false},
    {"type:bad-digit", LineStep::Type, LineFault::BadDigit, FaultEnd::Incomplete, 2, "type: the byte 0x47 is not a digit (error 100021)", false},
    {"type:lower-case", LineStep::Type, LineFault::LowerCase, FaultEnd::Read, 0, "", false},  // "P06" has no A to F
    {"type:silent", LineStep::Type, LineFault::Silent, FaultEnd::Incomplete, 2, "type: no answer (error 100002)", false},
    {"type:unplug", LineStep::Type, LineFault::Unplug, FaultEnd::Incomplete, 2, "type: {unplugged}; end of conversation: {unplugged}", false},
    {"type:echo", LineStep::Type, LineFault::Echo, FaultEnd::Incomplete, 2, "type: the byte 0x86 is not a digit (error 100021)", false},
    {"serial:late", LineStep::Serial, LineFault::Late, FaultEnd::Incomplete, 3, "serial number: no answer (error 100002)", false},
    {"serial:noise", LineStep::Serial, LineFault::Noise, FaultEnd::Incomplete, 3, "serial number: the byte 0x55 is not a digit (error 100021)", false},
    {"serial:truncated", LineStep::Serial, LineFault::Truncated, FaultEnd::Incomplete, 3, "serial number: no answer (error 100002)", false},
    {"serial:doubled", LineStep::Serial, LineFault::Doubled, FaultEnd::Incomplete, 3, "serial number: the byte 0x34 came out of turn (error 100022)", false},
    {"serial:extra-digits", LineStep::Serial, LineFault::ExtraDigits, FaultEnd::Incomplete, 3, "serial number: 2 bytes came out of turn, from 0x30 (error 100022)", false},
    {"serial:bad-digit", LineStep::Serial, LineFault::BadDigit, FaultEnd::Incomplete, 3, "serial number: the byte 0x47 is not a digit (error 100021)", true},
    {"serial:lower-case", LineStep::Serial, LineFault::LowerCase, FaultEnd::Incomplete, 3, "serial number: the byte 0x63 is not a digit (error 100021)", false},
    {"serial:silent", LineStep::Serial, LineFault::Silent, FaultEnd::Incomplete, 3, "serial number: no answer (error 100002)", false},
    {"serial:unplug", LineStep::Serial, LineFault::Unplug, FaultEnd::Incomplete, 3, "serial number: {unplugged}; end of conversation: {unplugged}", true},
    {"serial:echo", LineStep::Serial, LineFault::Echo, FaultEnd::Incomplete, 3, "serial number: the byte 0x84 is not a digit (error 100021)", false},
    {"circuit:late", LineStep::Circuit, LineFault::Late, FaultEnd::Incomplete, 4, "circuit version: no answer (error 100002)", false},
    {"circuit:noise", LineStep::Circuit, LineFault::Noise, FaultEnd::Incomplete, 4, "circuit version: the byte 0x55 is not a digit (error 100021)", false},
    {"circuit:truncated", LineStep::Circuit, LineFault::Truncated, FaultEnd::Incomplete, 4, "circuit version: no answer (error 100002)", false},
    {"circuit:doubled", LineStep::Circuit, LineFault::Doubled, FaultEnd::Incomplete, 4, "circuit version: the byte 0x42 came out of turn (error 100022)", true},
    {"circuit:extra-digits", LineStep::Circuit, LineFault::ExtraDigits, FaultEnd::Incomplete, 4, "circuit version: 2 bytes came out of turn, from 0x30 (error 100022)", false},
    {"circuit:bad-digit", LineStep::Circuit, LineFault::BadDigit, FaultEnd::Incomplete, 4, "circuit version: the byte 0x47 is not a digit (error 100021)", false},
    {"circuit:lower-case", LineStep::Circuit, LineFault::LowerCase, FaultEnd::Incomplete, 4, "circuit version: the byte 0x61 is not a digit (error 100021)", true},
    {"circuit:silent", LineStep::Circuit, LineFault::Silent, FaultEnd::Incomplete, 4, "circuit version: no answer (error 100002)", false},
    {"circuit:unplug", LineStep::Circuit, LineFault::Unplug, FaultEnd::Incomplete, 4, "circuit version: {unplugged}; end of conversation: {unplugged}", false},
    {"circuit:echo", LineStep::Circuit, LineFault::Echo, FaultEnd::Incomplete, 4, "circuit version: the byte 0x87 is not a digit (error 100021)", false},
    {"software:late", LineStep::Software, LineFault::Late, FaultEnd::Incomplete, 5, "software version: no answer (error 100002)", true},
    {"software:noise", LineStep::Software, LineFault::Noise, FaultEnd::Incomplete, 5, "software version: the byte 0x55 is not a digit (error 100021)", true},
    {"software:truncated", LineStep::Software, LineFault::Truncated, FaultEnd::Incomplete, 5, "software version: no answer (error 100002)", false},
    {"software:doubled", LineStep::Software, LineFault::Doubled, FaultEnd::Incomplete, 5, "software version: the byte 0x44 came out of turn (error 100022)", false},
    {"software:extra-digits", LineStep::Software, LineFault::ExtraDigits, FaultEnd::Incomplete, 5, "software version: 2 bytes came out of turn, from 0x30 (error 100022)", false},
    {"software:bad-digit", LineStep::Software, LineFault::BadDigit, FaultEnd::Incomplete, 5, "software version: the byte 0x47 is not a digit (error 100021)", false},
    {"software:lower-case", LineStep::Software, LineFault::LowerCase, FaultEnd::Incomplete, 5, "software version: the byte 0x63 is not a digit (error 100021)", false},
    {"software:silent", LineStep::Software, LineFault::Silent, FaultEnd::Incomplete, 5, "software version: no answer (error 100002)", false},
    {"software:unplug", LineStep::Software, LineFault::Unplug, FaultEnd::Incomplete, 5, "software version: {unplugged}; end of conversation: {unplugged}", false},
    {"software:echo", LineStep::Software, LineFault::Echo, FaultEnd::Incomplete, 5, "software version: the byte 0x84 is not a digit (error 100021)", false},
    // The end: bytes out of turn there may be the last answer's tail, so its value goes too;
    // a reading that did not end cleanly is not "read".
    {"end:late", LineStep::End, LineFault::Late, FaultEnd::Incomplete, 6, "software version, end of conversation: 2 bytes came out of turn, from 0x84 (error 100022)", false},
    {"end:noise", LineStep::End, LineFault::Noise, FaultEnd::Incomplete, 6, "software version, end of conversation: 4 bytes came out of turn, from 0x00 (error 100022)", false},
    {"end:truncated", LineStep::End, LineFault::Truncated, FaultEnd::Read, 0, "", false},
    {"end:doubled", LineStep::End, LineFault::Doubled, FaultEnd::Incomplete, 6, "software version, end of conversation: the byte 0x00 came out of turn (error 100022)", false},
    {"end:extra-digits", LineStep::End, LineFault::ExtraDigits, FaultEnd::Incomplete, 6, "software version, end of conversation: 2 bytes came out of turn, from 0x30 (error 100022)", true},
    {"end:bad-digit", LineStep::End, LineFault::BadDigit, FaultEnd::Incomplete, 6, "software version, end of conversation: the byte 0x00 came out of turn (error 100022)", false},
    {"end:lower-case", LineStep::End, LineFault::LowerCase, FaultEnd::Read, 0, "", false},  // no digits
    {"end:silent", LineStep::End, LineFault::Silent, FaultEnd::Incomplete, 6, "end of conversation: no answer (error 100002)", true},
    {"end:unplug", LineStep::End, LineFault::Unplug, FaultEnd::Incomplete, 6, "end of conversation: {unplugged}", false},
    {"end:echo", LineStep::End, LineFault::Echo, FaultEnd::Incomplete, 6, "software version, end of conversation: the byte 0x31 came out of turn (error 100022)", false},
    // Slow lines: a byte out of turn comes later than on an ideal line, and the quiet wait
    // after each answer grows with the line's measured answers to still see it.
    {"serial:doubled", LineStep::Serial, LineFault::Doubled, FaultEnd::Incomplete, 3, "serial number: the byte 0x42 came out of turn (error 100022)", false, kTimer16},
    {"circuit:doubled", LineStep::Circuit, LineFault::Doubled, FaultEnd::Incomplete, 4, "circuit version: the byte 0x42 came out of turn (error 100022)", false, kTimer16},
    {"software:doubled", LineStep::Software, LineFault::Doubled, FaultEnd::Incomplete, 5, "software version: the byte 0x46 came out of turn (error 100022)", false, kTimer16},
    {"end:doubled", LineStep::End, LineFault::Doubled, FaultEnd::Read, 0, "", false, kTimer16},
    {"serial:doubled", LineStep::Serial, LineFault::Doubled, FaultEnd::Incomplete, 3, "serial number: the byte 0x42 came out of turn (error 100022)", false, kTimer25},
    {"circuit:doubled", LineStep::Circuit, LineFault::Doubled, FaultEnd::Incomplete, 4, "circuit version: the byte 0x42 came out of turn (error 100022)", false, kTimer25},
    {"software:doubled", LineStep::Software, LineFault::Doubled, FaultEnd::Incomplete, 5, "software version: the byte 0x46 came out of turn (error 100022)", false, kTimer25},
    {"end:doubled", LineStep::End, LineFault::Doubled, FaultEnd::Read, 0, "", false, kTimer25},
    {"serial:doubled", LineStep::Serial, LineFault::Doubled, FaultEnd::Incomplete, 3, "serial number: the byte 0x42 came out of turn (error 100022)", true, kTimer32},
    {"circuit:doubled", LineStep::Circuit, LineFault::Doubled, FaultEnd::Incomplete, 4, "circuit version: the byte 0x42 came out of turn (error 100022)", false, kTimer32},
    {"software:doubled", LineStep::Software, LineFault::Doubled, FaultEnd::Incomplete, 5, "software version: the byte 0x46 came out of turn (error 100022)", false, kTimer32},
    {"end:doubled", LineStep::End, LineFault::Doubled, FaultEnd::Read, 0, "", false, kTimer32},
    {"serial:doubled", LineStep::Serial, LineFault::Doubled, FaultEnd::Incomplete, 3, "serial number: the byte 0x42 came out of turn (error 100022)", false, kTimer50},
    {"circuit:doubled", LineStep::Circuit, LineFault::Doubled, FaultEnd::Incomplete, 4, "circuit version: the byte 0x42 came out of turn (error 100022)", true, kTimer50},
    {"software:doubled", LineStep::Software, LineFault::Doubled, FaultEnd::Incomplete, 5, "software version: the byte 0x46 came out of turn (error 100022)", false, kTimer50},
    {"end:doubled", LineStep::End, LineFault::Doubled, FaultEnd::Read, 0, "", false, kTimer50},
    {"serial:doubled", LineStep::Serial, LineFault::Doubled, FaultEnd::Incomplete, 3, "serial number: the byte 0x42 came out of turn (error 100022)", false, kSlowUnit},
    {"circuit:doubled", LineStep::Circuit, LineFault::Doubled, FaultEnd::Incomplete, 4, "circuit version: the byte 0x42 came out of turn (error 100022)", true, kSlowUnit},
    {"software:doubled", LineStep::Software, LineFault::Doubled, FaultEnd::Incomplete, 5, "software version: the byte 0x46 came out of turn (error 100022)", true, kSlowUnit},
    {"end:doubled", LineStep::End, LineFault::Doubled, FaultEnd::Incomplete, 6, "software version, end of conversation: the byte 0x00 came out of turn (error 100022)", false, kSlowUnit},
};
// clang-format on

// "circuit:doubled", or "circuit:doubled, 50 ms timer, 0x84 alone" on a slow line.
inline std::string CaseName(const LineFaultCase& c) {
    std::string name = c.fault;
    if (c.line.latencyTimerMs != 0)
        name += ", " + std::to_string(c.line.latencyTimerMs) + " ms timer";
    if (c.line.answerDelayMaxMs != 0) {
        name += ", unit answering in " + std::to_string(c.line.answerDelayMinMs) + "-" +
                std::to_string(c.line.answerDelayMaxMs) + " ms";
    }
    if (c.line.rateAcknowledgeAlone) name += ", 0x84 alone";
    return name;
}

// The unit's faults for a case, as p06-sim's options below give them.
inline FaultConfig OnLine(const SlowLine& line, FaultConfig faults = {}) {
    faults.latencyTimerMs = line.latencyTimerMs;
    faults.answerDelayMinMs = line.answerDelayMinMs;
    faults.answerDelayMaxMs = line.answerDelayMaxMs;
    faults.rateAcknowledgeAlone = line.rateAcknowledgeAlone;
    return faults;
}

inline FaultConfig FaultsOf(const LineFaultCase& c) {
    FaultConfig faults;
    faults.lineFaults[static_cast<size_t>(c.step)] = c.kind;
    return OnLine(c.line, faults);
}

inline std::vector<std::string> SimFaultOptions(const LineFaultCase& c) {
    std::vector<std::string> options = {"--fault", c.fault};
    if (c.line.latencyTimerMs != 0)
        options.insert(options.end(), {"--latency-timer", std::to_string(c.line.latencyTimerMs)});
    if (c.line.answerDelayMaxMs != 0) {
        options.insert(options.end(),
                       {"--answer-delay", std::to_string(c.line.answerDelayMinMs) + "-" +
                                              std::to_string(c.line.answerDelayMaxMs)});
    }
    if (c.line.rateAcknowledgeAlone) options.push_back("--rate-ack-alone");
    return options;
}

// The reader's message for a case, with the system's own text for the code an unplugged
// port gives (EIO, 5, on Linux; Windows says otherwise of the fake line's 5).
inline std::string FailedStepsText(const LineFaultCase& c, int32_t unpluggedCode) {
    const std::string unplugged =
        SystemErrorText(unpluggedCode) + " (error " + std::to_string(unpluggedCode) + ")";
    std::string text = c.failedSteps;
    for (size_t at; (at = text.find("{unplugged}")) != std::string::npos;)
        text.replace(at, 11, unplugged);
    return text;
}

// What the reader says after the failed steps: the remedy when the first failed on a spoiled
// answer.
inline std::string SpoiledRemedyText(const LineFaultCase& c) {
    const std::string steps = c.failedSteps;
    const std::string first = steps.substr(0, steps.find("; "));
    for (const char* code : {"(error 100021)", "(error 100022)", "(error 100023)"})
        if (first.find(code) != std::string::npos)
            return "; the line spoiled an answer: check the cable and read again";
    return "";
}
