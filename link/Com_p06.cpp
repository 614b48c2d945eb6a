#include "link/Com_p06.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "platform/ComPorts.h"

namespace {

// The rates the line accepts; any other request runs the line at 9600 bit/s.
constexpr std::array<int32_t, 15> kLineRates = {110,   300,   600,    1200,   2400,
                                                4800,  9600,  14400,  19200,  38400,
                                                56000, 57600, 115200, 128000, 256000};

// The code that asks the unit for a rate, and the rate the host then runs at.
struct RateCode {
    int32_t rate;
    uint8_t code;
};
constexpr std::array<RateCode, 9> kRateCodes = {{{4800, 0xFF},
                                                 {14400, 0x56},
                                                 {19200, 0x40},
                                                 {38400, 0x20},
                                                 {56000, 0x15},
                                                 {57600, 0x14},
                                                 {115200, 0x0A},
                                                 {128000, 0x09},
                                                 {256000, 0x04}}};
constexpr RateCode kDefaultRateCode = {9600, 0x81};

constexpr uint32_t kPurgeAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;
constexpr uint32_t kPurgeWaitMs = 1000;
constexpr uint32_t kEndPauseMs = 500;
constexpr int32_t kDefaultPort = 2;
// Of the bytes found waiting before a command, those read to say what came: a line that
// streams bytes without end must not hold the step.
constexpr uint32_t kMostUnexpectedRead = 16;

// One hexadecimal digit as the unit expects it: '0'..'9', then 'A'..'F'.
uint8_t DigitCharacter(uint32_t digit) {
    return static_cast<uint8_t>(digit < 10 ? digit + 0x30 : digit + 0x37);
}

// Whether a byte is a digit as the unit sends it: '0'..'9', 'A'..'F'.
bool IsDigitCharacter(int32_t code) {
    return (code >= '0' && code <= '9') || (code >= 'A' && code <= 'F');
}

// The value of a digit code, without validation (the exchange checks the digits first).
int64_t DigitValue(uint32_t code) {
    return code <= 0x39 ? int64_t{code} - 0x30 : int64_t{code} - 0x37;
}

}  // namespace

SerialSettings CP06::DefaultSettings() {
    SerialSettings s;
    s.DCBlength = 28;
    s.BaudRate = 9600;
    s.fBinary = 1;
    s.fParity = 1;
    s.fDtrControl = kDtrControlDisable;  // DTR held off: the unit must not be keyed by it
    s.fRtsControl = kRtsControlEnable;
    s.XonLim = 100;
    s.XoffLim = 100;
    s.ByteSize = 8;
    s.Parity = kEvenParity;
    s.StopBits = kOneStopBit;
    s.XonChar = 0x01;
    s.XoffChar = 0x02;
    s.ErrorChar = 0x04;
    s.EofChar = 0x00;
    s.EvtChar = 0x03;
    return s;
}

SerialTimeouts CP06::DefaultTimeouts() {
    // Every transfer is one byte: a read gives up after 100 x 1 + 1000 = 1100 ms.
    return SerialTimeouts{500, 100, 1000, 100, 1000};
}

CP06::CP06()
    : ownedLine_(MakeSystemSerialLine()),
      ownedClock_(MakeSystemClock()),
      line_(ownedLine_.get()),
      clock_(ownedClock_.get()),
      settings_(DefaultSettings()),
      timeouts_(DefaultTimeouts()) {
    SetPort(kDefaultPort);
}

CP06::CP06(SerialLine& line, Clock& clock)
    : line_(&line), clock_(&clock), settings_(DefaultSettings()), timeouts_(DefaultTimeouts()) {
    SetPort(kDefaultPort);
}

CP06::~CP06() {
    // With a port open this ends the conversation twice: once here, once inside Close.
    Disconnect();
    Close();
}

// ---- Serial port channel ----

void CP06::SetPort(int32_t portNumber) {
    const int32_t number = portNumber > kHighestComNumber ? 1 : portNumber;
    char path[sizeof devicePath_];
    std::snprintf(path, sizeof path, "\\\\.\\COM%i", static_cast<int>(number));
    // The port stays open between readings; a port the technician has chosen anew must be
    // the one the next reading talks to, so the old one is let go now.
    if (std::strcmp(path, devicePath_) != 0) LetPortGo();
    std::memcpy(devicePath_, path, sizeof path);
}

void CP06::LetPortGo() {
    if (!IsOpen()) return;
    const int32_t status = status_;
    Close();
    status_ = status;
}

int32_t CP06::Open() {
    const int32_t closed = Close();
    if (closed != kStatusOk) return closed;

    handle_ = line_->Open(devicePath_);
    if (handle_ == SerialLine::kInvalidHandle) return Store(LastError());
    if (!line_->GetState(handle_, savedSettings_)) return Store(LastError());
    savedSettingsValid_ = true;
    SetBaudRate(9600);
    if (!line_->SetState(handle_, settings_)) return Store(LastError());
    if (!line_->GetTimeouts(handle_, savedTimeouts_)) return Store(LastError());
    savedTimeoutsValid_ = true;
    if (!line_->SetTimeouts(handle_, timeouts_)) return Store(LastError());
    return Store(kStatusOk);
}

int32_t CP06::Close() {
    int32_t status = kStatusOk;
    if (IsOpen()) {
        Disconnect();
        // Only what was saved at the open is given back: writing back a configuration
        // that was never read would fail. Whatever fails, the handle goes (a port whose
        // adapter was unplugged cannot take its settings back), and the first failure is
        // the status.
        auto keepFirst = [&](bool done) {
            if (!done && status == kStatusOk) status = LastError();
        };
        if (savedSettingsValid_) keepFirst(line_->SetState(handle_, savedSettings_));
        if (savedTimeoutsValid_) keepFirst(line_->SetTimeouts(handle_, savedTimeouts_));
        keepFirst(line_->Close(handle_));
        handle_ = SerialLine::kInvalidHandle;
        savedSettingsValid_ = false;
        savedTimeoutsValid_ = false;
    }
    connected_ = false;
    return Store(status);
}

int32_t CP06::SetBaudRate(int32_t rate) {
    int32_t status = kStatusOk;
    bool known = false;
    for (int32_t r : kLineRates) known = known || r == rate;
    settings_.BaudRate = static_cast<uint32_t>(known ? rate : 9600);
    if (IsOpen() && !line_->SetState(handle_, settings_)) status = LastError();
    return Store(status);
}

int32_t CP06::Purge() {
    if (!IsOpen()) return Store(kStatusNoPort);
    BusyWait(kPurgeWaitMs);
    return Store(line_->Purge(handle_, kPurgeAll) ? kStatusOk : LastError());
}

int32_t CP06::SendByte(uint8_t value) {
    if (!IsOpen()) return Store(kStatusNoPort);
    uint32_t written = 0;
    // The count written is not looked at: a write the driver accepted counts as sent.
    const bool sent = line_->WriteByte(handle_, value, written);
    lastSentTick_ = clock_->TickCount();
    return Store(sent ? kStatusOk : LastError());
}

int32_t CP06::ReceiveByte(int32_t& value) {
    if (!IsOpen()) return Store(kStatusNoPort);
    uint8_t byte = 0;
    uint32_t count = 0;
    if (!line_->ReadByte(handle_, byte, count)) return Store(LastError());
    if (count == 0) return Store(kStatusNothingReceived);
    // Of the single-bit errors in a digit, a third give another good digit: only the
    // line's own check tells.
    uint32_t errors = 0;
    if (!line_->TakeLineErrors(handle_, errors)) return Store(LastError());
    if (errors != 0) {
        unexpectedByte_ = byte;
        unexpectedCount_ = 1;
        return Store(kStatusLineError);
    }
    value = byte;
    return Store(kStatusOk);
}

int32_t CP06::ReceiveAnswer(int32_t& value) {
    if (ReceiveByte(value) == kStatusOk)
        longestAnswerMs_ = std::max(longestAnswerMs_, clock_->TickCount() - lastSentTick_);
    return status_;
}

void CP06::BusyWait(uint32_t ms) {
    // The thread does nothing else meanwhile, but sleeps rather than spins. The elapsed
    // time is taken by unsigned difference, so the wait is right across the counter's wrap.
    const uint32_t start = clock_->TickCount();
    for (;;) {
        const uint32_t elapsed = clock_->TickCount() - start;
        if (elapsed >= ms) return;
        clock_->Sleep(ms - elapsed);
    }
}

// ---- Connection protocol ----

int32_t CP06::Connect(int32_t seconds) {
    if (!IsOpen()) {
        const int32_t opened = Open();
        if (opened != kStatusOk) return opened;
    }

    // The deadline is taken before the purge, so Connect(1) makes exactly one poll.
    // The elapsed time is summed in 64 bits from the wrapping 32-bit tick, so a wait longer
    // than the counter's 49.7 days still reaches its end.
    const bool hasDeadline = seconds != 0;
    uint32_t lastTick = clock_->TickCount();
    uint64_t elapsedMs = 0;
    const uint64_t limitMs = seconds > 0 ? uint64_t(seconds) * 1000 : 0;
    bool deadlinePassed = false;

    Purge();
    int32_t status = kStatusOk;
    int32_t lastReply = -1;
    longestAnswerMs_ = 0;  // a new conversation: the line is measured afresh

    for (;;) {
        status = SendByte(kPoll);
        if (status == kStatusOk) {
            int32_t reply = -1;
            status = ReceiveAnswer(reply);
            if (status == kStatusOk) lastReply = reply;

            if (status == kStatusOk && reply == kGiveUp) {
                Purge();
                Disconnect();
                status = Close();
            } else if (status == kStatusNothingReceived || status == kStatusLineError) {
                // A silent unit is no error, nor is a reply the line spoiled: poll again.
                status = kStatusOk;
            } else if (status != kStatusOk) {
                Purge();
                Disconnect();
                status = Close();
            }
            if (hasDeadline) {
                const uint32_t now = clock_->TickCount();
                elapsedMs += static_cast<uint32_t>(now - lastTick);
                lastTick = now;
                deadlinePassed = elapsedMs >= limitMs;
            }
        } else {
            // A line that takes no byte is gone (an adapter unplugged, a hung-up port):
            // polling the same handle again could never succeed, so the port is let go
            // and the next attempt opens it afresh. The write's code stays the status.
            Close();
        }
        if (deadlinePassed || status != kStatusOk || lastReply == kAccept || clock_->KeyPressed()) {
            break;
        }
    }

    if (lastReply == kAccept) {
        connected_ = true;
        return Store(kStatusOk);
    }
    connected_ = false;
    return Store(deadlinePassed ? kStatusNothingReceived : status);
}

int32_t CP06::Disconnect() {
    if (!IsOpen()) return Store(kStatusNoPort);
    // Sends nothing unless a conversation is open. A refused rate change does not stop the end
    // of the conversation, but bytes out of step before or in place of its acknowledgement
    // mean the last answer was spoiled.
    const bool inConversation = connected_;
    const int32_t rateChange = ChangeBaudRate(9600);
    int32_t spoiled =
        rateChange == kStatusOutOfStep || rateChange == kStatusLineError ? rateChange : kStatusOk;
    clock_->Sleep(kEndPauseMs);
    // The pause outlasts any quiet wait: a byte waiting now is out of step too (an
    // acknowledgement that came after a shifted answer's tail). It is read in any case, so
    // that the end byte's answer is its own; outside a conversation it is a failed reading's
    // leftover, already told.
    const int32_t firstUnexpected = unexpectedByte_;
    const uint32_t unexpectedCount = unexpectedCount_;
    if (ExpectQuietLine() == kStatusOutOfStep && inConversation) {
        if (spoiled != kStatusOk) {
            unexpectedByte_ = firstUnexpected;
            unexpectedCount_ = unexpectedCount;
        } else {
            spoiled = kStatusOutOfStep;
        }
    }
    int32_t status = SendByte(kEndOfConversation);
    if (status != kStatusOk) return status;
    int32_t answer = 0;
    status = ReceiveAnswer(answer);
    if (status != kStatusOk) return status;
    connected_ = false;
    return Store(spoiled);
}

int32_t CP06::ChangeBaudRate(int32_t rate) {
    if (!connected_) return Store(kStatusNotConnected);
    if (ExpectQuietLine() != kStatusOk) return status_;
    RateCode target = kDefaultRateCode;
    for (const RateCode& r : kRateCodes)
        if (r.rate == rate) target = r;

    int32_t status = SendByte(kChangeRate);
    if (status != kStatusOk) return status;
    status = SendHexByte(target.code);
    if (status != kStatusOk) return status;
    int32_t reply = 0;
    status = ReceiveAnswer(reply);
    if (status != kStatusOk) return status;
    // A digit is the tail of a shifted answer, not the unit declining the rate.
    if (IsDigitCharacter(reply)) {
        unexpectedByte_ = reply;
        unexpectedCount_ = 1;
        return Store(kStatusOutOfStep);
    }
    if (reply != kAcknowledge) return Store(kStatusRateRefused);

    // The unit sends one more byte at the old rate; it carries nothing the host uses.
    int32_t trailing = 0;
    ReceiveAnswer(trailing);
    settings_.BaudRate = static_cast<uint32_t>(target.rate);
    line_->SetState(handle_, settings_);
    return Store(kStatusOk);
}

int32_t CP06::SendHexByte(uint32_t value) {
    const int32_t status = SendByte(DigitCharacter(value / 16));
    if (status != kStatusOk) return status;
    return SendByte(DigitCharacter(value % 16));
}

int32_t CP06::ReceiveHexByte(int32_t& value, bool acknowledge) {
    if (!connected_) return Store(kStatusNotConnected);
    // A byte that is no digit is not acknowledged: the exchange ends there.
    const auto receiveDigit = [this](int32_t& digit) {
        if (ReceiveAnswer(digit) != kStatusOk) return status_;
        if (IsDigitCharacter(digit)) return status_;
        unexpectedByte_ = digit;
        unexpectedCount_ = 1;
        return Store(kStatusNotADigit);
    };
    int32_t high = 0;
    int32_t low = 0;
    int32_t status = receiveDigit(high);
    if (status == kStatusOk && acknowledge) status = SendByte(kAcknowledge);
    if (status == kStatusOk) status = receiveDigit(low);
    if (status == kStatusOk && acknowledge) status = SendByte(kAcknowledge);
    if (status != kStatusOk) return status;
    value = HexPairToByte(static_cast<uint32_t>(high), static_cast<uint32_t>(low));
    return Store(kStatusOk);
}

int32_t CP06::ExpectQuietLine() {
    if (!IsOpen()) return Store(kStatusNoPort);
    uint32_t waiting = 0;
    if (!line_->InputWaiting(handle_, waiting)) return Store(LastError());
    if (waiting == 0) return Store(kStatusOk);
    // A byte out of turn is out of turn whatever the line did to it.
    int32_t first = -1;
    for (uint32_t i = 0; i < waiting && i < kMostUnexpectedRead; ++i) {
        int32_t byte = 0;
        const int32_t status = ReceiveByte(byte);
        if (status == kStatusLineError)
            byte = unexpectedByte_;
        else if (status != kStatusOk)
            break;
        if (i == 0) first = byte;
    }
    unexpectedByte_ = first;
    unexpectedCount_ = waiting;
    return Store(kStatusOutOfStep);
}

int32_t CP06::ExpectQuietAfterAnswer() {
    BusyWait(QuietWaitMs());
    return ExpectQuietLine();
}

uint32_t CP06::QuietWaitMs() const {
    const uint64_t wait = uint64_t{longestAnswerMs_} * 3 / 2 + kQuietWaitMarginMs;
    return static_cast<uint32_t>(
        std::clamp<uint64_t>(wait, kQuietWaitFloorMs, kQuietWaitCeilingMs));
}

int32_t CP06::HexPairToByte(uint32_t high, uint32_t low) {
    return static_cast<int32_t>(16 * DigitValue(high) + DigitValue(low));
}
