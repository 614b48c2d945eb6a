// The transmitter's controller as a pure state machine: bytes from the host in, the
// unit's answer bytes out, no I/O and no clock (a late answer comes with its delay, for the
// caller to keep). p06-sim serves it on a pseudo-terminal; the tests drive the device link
// against it through the fake line.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct UnitConfig {
    std::string type = "P06";
    uint32_t serialNumber = 4660;
    uint8_t circuitVersion = 3;
    uint8_t softwareFirst = 2;
    uint8_t softwareSecond = 5;
};

// The steps of a reading, as the unit's answers fall into them: the poll's acceptance, the
// type (0x86), the serial number (memory reads at 0x78..0x7B), the circuit version (0x87),
// the software version (memory reads at 0x7E..0x7F), and the end (the rate change back to
// 9600 and the answer to the end byte).
enum class LineStep { Poll, Type, Serial, Circuit, Software, End };
inline constexpr size_t kLineStepCount = 6;

// How the line spoils one step's answer, the first time the unit answers that step.
enum class LineFault {
    None,
    Late,         // the first answer byte leaves kLateAnswerMs after the host's byte
    Noise,        // 0x55 0x00 0xFF just before the first answer byte
    Truncated,    // the first answer byte, then nothing until the next poll or end byte
    Doubled,      // the first answer byte twice
    ExtraDigits,  // "00" unasked once the step's last digit is acknowledged (poll: after 0x81)
    BadDigit,     // the first digit sent as 'G' (poll: 'G' instead of 0x81)
    LowerCase,    // the step's digits A to F in lower case
    Silent,       // nothing at all for the step
    Unplug,       // the port goes away, as an adapter pulled out
    Echo,         // every byte sent back instead of answers (poll: for good, a loopback)
};

// Longer than the host's 1100 ms wait for one byte.
inline constexpr uint32_t kLateAnswerMs = 1500;

struct FaultConfig {
    bool silent = false;       // never answers anything
    bool refuses = false;      // answers every poll with 0x85
    int acceptAfterPolls = 0;  // answers the first N polls with 0x00, then accepts
    // Busy for a while: answers busyPolls polls from its busyFromPoll-th (counted from 1)
    // with 0x85. 0: never.
    int busyFromPoll = 0;
    int busyPolls = 0;
    int stopAfterBytes = -1;         // goes silent once it has sent this many bytes (-1: never)
    bool lowerCaseDigits = false;    // sends 'a' to 'f' instead of 'A' to 'F'
    bool refusesRateChange = false;  // answers a rate change with 0x00 instead of 0x84
    // The fault on each step's answer, indexed by LineStep; each strikes once per model,
    // that is once per unit presence.
    std::array<LineFault, kLineStepCount> lineFaults{};
    // A slow line. The unit takes from answerDelayMinMs to answerDelayMaxMs to answer each
    // byte (drawn anew each time, from seed); the adapter hands received bytes to the host
    // only on its latency timer's ticks, every latencyTimerMs (0: at once).
    uint32_t answerDelayMinMs = 0;
    uint32_t answerDelayMaxMs = 0;
    uint32_t latencyTimerMs = 0;
    uint32_t seed = 1;
    bool rateAcknowledgeAlone = false;  // no byte after a rate change's 0x84
};

// When a byte that reaches the adapter at readyMs reaches the host: at the next tick of the
// adapter's latency timer (a byte that comes as the timer runs out waits for the next one).
inline uint64_t ThroughLatencyTimer(uint64_t readyMs, uint32_t latencyTimerMs) {
    if (latencyTimerMs == 0) return readyMs;
    return (readyMs / latencyTimerMs + 1) * latencyTimerMs;
}

// What the unit does about one host byte.
struct Reply {
    std::vector<uint8_t> bytes;  // what it sends, in order
    uint32_t delayMs = 0;        // the bytes leave this long after the host's byte
    bool unplug = false;         // the port goes away now; the unit waits for a new poll
};

class DeviceModel {
public:
    explicit DeviceModel(UnitConfig unit = {}, FaultConfig faults = {});

    // Takes one byte from the host; returns what the unit does about it.
    Reply ReplyTo(uint8_t byte);
    // The same, for callers that keep no time and no port: the bytes alone, late ones at once.
    std::vector<uint8_t> Receive(uint8_t byte) { return ReplyTo(byte).bytes; }

    // True while a conversation is open (between an accepted poll and the end byte).
    bool InConversation() const;
    // The rate the unit's line runs at, in bit/s (changed by an accepted rate change).
    uint32_t BaudRate() const;
    // The byte of device memory at an address (serial number at 0x78..0x7B,
    // software version at 0x7E..0x7F, 0 elsewhere).
    uint8_t MemoryAt(uint8_t address) const;

    const UnitConfig& Unit() const { return unit_; }
    const FaultConfig& Faults() const { return faults_; }

private:
    Reply SpoilLine(uint8_t byte);
    void Strike(LineFault fault, Reply& reply, uint8_t byte);
    void Open(std::optional<LineStep> step, bool finishesStep);
    void OpenWhole(LineStep step);
    // A poll or an end byte: understood in every state, it ends whatever the line did.
    static bool StartsOver(uint8_t byte);
    std::vector<uint8_t> Answer(uint8_t byte);
    std::vector<uint8_t> Command(uint8_t byte);
    std::vector<uint8_t> ChangeRate(uint8_t code);
    std::vector<uint8_t> NextDigit();
    std::vector<uint8_t> Limit(std::vector<uint8_t> bytes);
    uint8_t DigitOf(unsigned nibble) const;
    uint32_t AnswerDelay();
    void QueueValue(uint8_t value);

    enum class State {
        Idle,           // waits for a poll
        Command,        // conversation open, waits for a command byte
        SendingDigits,  // has sent a digit, waits for 0x84 before the next
        RateHigh,       // waits for the high digit of a rate code
        RateLow,        // waits for the low digit of a rate code
        AddressHigh,    // waits for the high digit of a memory address
        AddressLow,     // waits for the low digit of a memory address
    };

    UnitConfig unit_;
    FaultConfig faults_;
    State state_ = State::Idle;
    int pollsSeen_ = 0;
    int pollCount_ = 0;  // every poll heard outside a conversation
    int bytesSent_ = 0;
    uint32_t draw_;  // the answer delays' generator
    uint32_t baudRate_ = 9600;
    uint8_t firstDigit_ = 0;
    std::vector<uint8_t> pendingDigits_;  // digits still to send, each after an 0x84

    // Line faults. What the byte being answered did to the steps, set by the state machine:
    bool opened_ = false;                 // it opened a command, a conversation or its end
    std::optional<LineStep> openedStep_;  // ... of this step (none: outside the reading's)
    bool finished_ = false;               // it ended the step (its last digit acknowledged)
    bool finishes_ = false;               // the command under way ends its step with its last digit
    // The step a fault is spoiling (spoiling_ None: none), and the faults already spent.
    LineFault spoiling_ = LineFault::None;
    LineStep spoiledStep_ = LineStep::Poll;
    std::array<bool, kLineStepCount> spent_{};
    bool mute_ = false;      // a truncated answer: nothing until the next poll or end byte
    bool echoing_ = false;   // every byte back until the next poll or end byte
    bool loopback_ = false;  // every byte back for good
};
