// CP06: the one link to the transmitter's controller. The lower layer drives the serial
// port (open, configure, purge, one byte in or out with fixed time-outs); above it sits the
// byte protocol (poll, hexadecimal digit pairs acknowledged one by one, rate change, end of
// conversation) and the device queries. No operation throws or shows anything: each stores
// its link status and returns it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/SerialLine.h"

// Link statuses besides 0 (success) and the operating system's own error codes.
inline constexpr int32_t kStatusOk = 0;
inline constexpr int32_t kStatusNotConnected = 100001;
inline constexpr int32_t kStatusNothingReceived = 100002;
inline constexpr int32_t kStatusRateRefused = 100003;
inline constexpr int32_t kStatusNoPort = 100016;
inline constexpr int32_t kStatusWrongType = 100020;
// The protocol has no checksum; these are what the link can see of a spoiled answer.
// A byte other than '0'..'9' or 'A'..'F' where a digit was due:
inline constexpr int32_t kStatusNotADigit = 100021;
// Answers and questions out of step: bytes already waiting before a command or the end byte,
// or come within the quiet wait after an answer, or a digit where the rate change's
// acknowledgement was due (the tail of a shifted answer):
inline constexpr int32_t kStatusOutOfStep = 100022;
// A byte that came with a parity, framing or overrun error: the line spoiled it, whatever
// its value:
inline constexpr int32_t kStatusLineError = 100023;

// Protocol bytes.
inline constexpr uint8_t kPoll = 0x80;
inline constexpr uint8_t kAccept = 0x81;
inline constexpr uint8_t kAcknowledge = 0x84;
inline constexpr uint8_t kGiveUp = 0x85;
inline constexpr uint8_t kEndOfConversation = 0x04;
inline constexpr uint8_t kChangeRate = 0x9E;
inline constexpr uint8_t kReadType = 0x86;
inline constexpr uint8_t kReadCircuitVersion = 0x87;
inline constexpr uint8_t kReadMemory = 0x89;

// The quiet wait. The protocol has no checksum and no length: an answer that came twice or
// shifted by a byte still reads as good digits, and only a byte arriving after the answer's
// last acknowledgement shows it. Such a byte is the unit's answer to an earlier
// acknowledgement, so it can come as late as any answer on this line: the unit's own time
// to answer plus the adapter's latency (a USB adapter holds received bytes until its latency
// timer runs out: 16 ms by default on FTDI chips, settable from 1 to 255 ms). So the link
// measures the line as it talks, taking the longest time from a byte it sent to the unit's
// next byte in this conversation, and after each value waits half as long again, plus two
// byte times: a few dozen answers rarely show the very longest delay. The floor is one
// byte's time and the 16 ms latency a line too fast to measure may still have; the ceiling
// is the read time-out, beyond which a byte would have counted as missing anyway.
inline constexpr uint32_t kQuietWaitFloorMs = 18;
inline constexpr uint32_t kQuietWaitCeilingMs = 1100;
inline constexpr uint32_t kQuietWaitMarginMs = 2;

// Device memory.
inline constexpr int32_t kSerialNumberAddress = 0x78;
inline constexpr int32_t kSoftwareVersionAddress = 0x7E;

class CP06 {
public:
    // The machine's own serial line and clock.
    CP06();
    // Given seams (tests, the wire trace); the link does not own them.
    CP06(SerialLine& line, Clock& clock);
    ~CP06();
    CP06(const CP06&) = delete;
    CP06& operator=(const CP06&) = delete;

    // Serial port channel.
    void SetPort(int32_t portNumber);
    // Closes the port when it is open, outside any reading, keeping the link status: the
    // port is no longer the chosen one, or no longer there at all.
    void LetPortGo();
    int32_t Open();
    int32_t Close();
    int32_t SetBaudRate(int32_t rate);
    int32_t Purge();
    int32_t SendByte(uint8_t value);
    int32_t ReceiveByte(int32_t& value);
    void BusyWait(uint32_t ms);

    // Connection protocol.
    int32_t Connect(int32_t seconds);
    int32_t Disconnect();
    int32_t ChangeBaudRate(int32_t rate);
    int32_t SendHexByte(uint32_t value);
    int32_t ReceiveHexByte(int32_t& value, bool acknowledge);
    static int32_t HexPairToByte(uint32_t high, uint32_t low);
    // Fails with kStatusOutOfStep when bytes are already waiting, reading them: they answer
    // nothing still to come. Only looks: nothing is sent and nothing waited for. Every
    // command of a conversation begins with it.
    int32_t ExpectQuietLine();
    // Waits the quiet wait, then ExpectQuietLine: after an answer, whatever comes by then
    // came out of turn.
    int32_t ExpectQuietAfterAnswer();
    // The quiet wait this conversation's line calls for (see kQuietWaitFloorMs).
    uint32_t QuietWaitMs() const;
    // The longest time, in this conversation, from a byte sent to the unit's next byte.
    uint32_t LongestAnswerMs() const { return longestAnswerMs_; }

    // Device information queries.
    int32_t ReadTypeId(char (&text)[4]);
    int32_t CheckType();
    int32_t ReadCircuitVersion(int32_t& value);
    int32_t ReadMemoryByte(int32_t address, int32_t& value);
    int32_t ReadMemoryWord(int32_t address, int32_t& value);
    int32_t ReadSerialNumber(uint32_t& value);
    int32_t ReadSoftwareVersion(int32_t& first, int32_t& second);
    static std::string DeviceName();

    // State, for callers and tests.
    int32_t Status() const { return status_; }
    // What the last exchange that failed with kStatusNotADigit, kStatusOutOfStep or
    // kStatusLineError received: the byte that was not a digit, the first of the bytes that
    // were waiting (-1: none) and how many were waiting, or the byte the line spoiled.
    int32_t UnexpectedByte() const { return unexpectedByte_; }
    uint32_t UnexpectedCount() const { return unexpectedCount_; }
    // The type identifier of the last ReadTypeId (empty before the first).
    const char* LastTypeId() const { return lastTypeId_; }
    bool IsOpen() const { return handle_ != SerialLine::kInvalidHandle; }
    bool IsConnected() const { return connected_; }
    const char* DevicePath() const { return devicePath_; }
    const SerialSettings& Settings() const { return settings_; }
    const SerialTimeouts& Timeouts() const { return timeouts_; }

    // The line configuration and time-outs every port is given.
    static SerialSettings DefaultSettings();
    static SerialTimeouts DefaultTimeouts();

private:
    int32_t Store(int32_t status) { return status_ = status; }
    int32_t LastError() const { return line_->LastError(); }
    // ReceiveByte for a byte the unit sends in answer, timing it against the last byte sent.
    int32_t ReceiveAnswer(int32_t& value);

    std::unique_ptr<SerialLine> ownedLine_;
    std::unique_ptr<Clock> ownedClock_;
    SerialLine* line_;
    Clock* clock_;

    SerialLine::Handle handle_ = SerialLine::kInvalidHandle;
    SerialSettings settings_;
    SerialSettings savedSettings_{};
    bool savedSettingsValid_ = false;  // read from the port at the last open
    SerialTimeouts timeouts_;
    SerialTimeouts savedTimeouts_{};
    bool savedTimeoutsValid_ = false;
    char devicePath_[20] = {};
    char lastTypeId_[4] = {};
    bool connected_ = false;
    int32_t status_ = kStatusOk;
    int32_t unexpectedByte_ = -1;
    uint32_t unexpectedCount_ = 0;
    uint32_t lastSentTick_ = 0;
    uint32_t longestAnswerMs_ = 0;
};
