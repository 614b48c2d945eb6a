// The device side of the protocol, one state per thing the unit waits for. A byte that
// makes no sense in the current state is ignored: the unit never answers out of turn.
#include "sim/DeviceModel.h"

#include <algorithm>
#include <utility>

namespace {

// Protocol bytes, as the unit sees them.
constexpr uint8_t kPoll = 0x80;
constexpr uint8_t kAccept = 0x81;
constexpr uint8_t kAcknowledge = 0x84;
constexpr uint8_t kGiveUp = 0x85;
constexpr uint8_t kNotYet = 0x00;  // answer to a poll before the unit is ready
constexpr uint8_t kEndOfConversation = 0x04;
constexpr uint8_t kEndAnswer = 0x04;
constexpr uint8_t kReadType = 0x86;
constexpr uint8_t kReadCircuitVersion = 0x87;
constexpr uint8_t kReadMemory = 0x89;
constexpr uint8_t kChangeRate = 0x9E;
constexpr uint8_t kRateRefused = 0x00;
constexpr uint8_t kRateFollowUp = 0x00;  // the byte after an accepted rate change

constexpr uint8_t kEndRateCode = 0x81;  // 9600, the rate every conversation ends at

struct RateEntry {
    uint8_t code;
    uint32_t rate;
};

// Rate codes the unit knows after 0x9E.
constexpr RateEntry kRateCodes[] = {
    {0xFF, 4800},  {0x56, 14400},  {0x40, 19200},  {0x20, 38400},  {0x15, 56000},
    {0x14, 57600}, {0x0A, 115200}, {0x09, 128000}, {0x04, 256000}, {kEndRateCode, 9600},
};

constexpr uint8_t kSerialNumberAddress = 0x78;
constexpr uint8_t kSerialNumberLastAddress = 0x7B;
constexpr uint8_t kSoftwareFirstAddress = 0x7E;
constexpr uint8_t kSoftwareSecondAddress = 0x7F;
constexpr size_t kTypeLength = 3;

// The value of a hexadecimal digit, upper or lower case; -1 for any other byte.
int DigitValue(uint8_t byte) {
    if (byte >= '0' && byte <= '9') return byte - '0';
    if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
    if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
    return -1;
}

// The step a memory read belongs to, by its address: none outside the reading's values.
std::optional<LineStep> StepOfAddress(uint8_t address) {
    if (address >= kSerialNumberAddress && address <= kSerialNumberLastAddress)
        return LineStep::Serial;
    if (address == kSoftwareFirstAddress || address == kSoftwareSecondAddress)
        return LineStep::Software;
    return std::nullopt;
}

// The host reads a value's bytes in address order: the last one ends the step.
bool IsLastOfStep(uint8_t address) {
    return address == kSerialNumberLastAddress || address == kSoftwareSecondAddress;
}

}  // namespace

DeviceModel::DeviceModel(UnitConfig unit, FaultConfig faults)
    : unit_(std::move(unit)), faults_(faults), draw_(faults.seed) {}

Reply DeviceModel::ReplyTo(uint8_t byte) {
    if (faults_.silent) return {};
    Reply reply = SpoilLine(byte);
    reply.bytes = Limit(std::move(reply.bytes));
    if (!reply.bytes.empty()) reply.delayMs += AnswerDelay();
    return reply;
}

uint32_t DeviceModel::AnswerDelay() {
    if (faults_.answerDelayMaxMs <= faults_.answerDelayMinMs) return faults_.answerDelayMinMs;
    draw_ = draw_ * 1103515245u + 12345u;  // the C standard's example generator
    return faults_.answerDelayMinMs +
           (draw_ >> 8) % (faults_.answerDelayMaxMs - faults_.answerDelayMinMs + 1);
}

bool DeviceModel::StartsOver(uint8_t byte) { return byte == kPoll || byte == kEndOfConversation; }

void DeviceModel::Open(std::optional<LineStep> step, bool finishesStep) {
    opened_ = true;
    openedStep_ = step;
    finishes_ = finishesStep;
}

// A step whose answer is one byte, opened and ended by the same host byte.
void DeviceModel::OpenWhole(LineStep step) {
    Open(step, true);
    finished_ = true;
}

bool DeviceModel::InConversation() const { return state_ != State::Idle; }

uint32_t DeviceModel::BaudRate() const { return baudRate_; }

uint8_t DeviceModel::MemoryAt(uint8_t address) const {
    if (address >= kSerialNumberAddress && address <= kSerialNumberLastAddress) {
        const unsigned shift = 8u * (address - kSerialNumberAddress);  // lowest byte first
        return static_cast<uint8_t>(unit_.serialNumber >> shift);
    }
    if (address == kSoftwareFirstAddress) return unit_.softwareFirst;
    if (address == kSoftwareSecondAddress) return unit_.softwareSecond;
    return 0;
}

std::vector<uint8_t> DeviceModel::Answer(uint8_t byte) {
    if (state_ == State::Idle) {
        // The end byte is answered outside a conversation too: a host closing its port
        // ends the conversation once more and waits for that answer.
        if (byte == kEndOfConversation) return {kEndAnswer};
        if (byte != kPoll) return {};
        ++pollCount_;
        const bool busy = pollCount_ >= faults_.busyFromPoll &&
                          pollCount_ - faults_.busyFromPoll < faults_.busyPolls;
        if (faults_.refuses || (faults_.busyFromPoll > 0 && busy)) return {kGiveUp};
        if (pollsSeen_ < faults_.acceptAfterPolls) {
            ++pollsSeen_;
            return {kNotYet};
        }
        state_ = State::Command;
        OpenWhole(LineStep::Poll);
        return {kAccept};
    }

    // Within a conversation a poll or the end byte is understood in every state, so a
    // host that gave up half-way through an exchange can always start over or finish.
    if (byte == kPoll) {
        pendingDigits_.clear();
        state_ = State::Command;
        OpenWhole(LineStep::Poll);
        return {kAccept};
    }
    if (byte == kEndOfConversation) {
        pendingDigits_.clear();
        state_ = State::Idle;
        OpenWhole(LineStep::End);
        return {kEndAnswer};
    }

    switch (state_) {
        case State::Command:
            return Command(byte);
        case State::SendingDigits:
            if (byte != kAcknowledge) return {};
            if (pendingDigits_.empty()) {
                state_ = State::Command;  // the last digit is acknowledged
                finished_ = finishes_;
                return {};
            }
            return NextDigit();
        case State::RateHigh:
        case State::AddressHigh:
            if (DigitValue(byte) < 0) return {};
            firstDigit_ = static_cast<uint8_t>(DigitValue(byte));
            state_ = state_ == State::RateHigh ? State::RateLow : State::AddressLow;
            return {};
        case State::RateLow:
            if (DigitValue(byte) < 0) return {};
            return ChangeRate(static_cast<uint8_t>(firstDigit_ * 16 + DigitValue(byte)));
        case State::AddressLow: {
            if (DigitValue(byte) < 0) return {};
            const auto address = static_cast<uint8_t>(firstDigit_ * 16 + DigitValue(byte));
            Open(StepOfAddress(address), IsLastOfStep(address));
            QueueValue(MemoryAt(address));
            return NextDigit();
        }
        case State::Idle:
            break;
    }
    return {};
}

std::vector<uint8_t> DeviceModel::Command(uint8_t byte) {
    switch (byte) {
        case kReadType: {
            Open(LineStep::Type, true);
            std::string type = unit_.type.substr(0, kTypeLength);
            type.resize(kTypeLength, ' ');
            for (char c : type) QueueValue(static_cast<uint8_t>(c));
            return NextDigit();
        }
        case kReadCircuitVersion:
            Open(LineStep::Circuit, true);
            QueueValue(unit_.circuitVersion);
            return NextDigit();
        case kReadMemory:
            state_ = State::AddressHigh;
            return {};
        case kChangeRate:
            state_ = State::RateHigh;
            return {};
        default:
            return {};
    }
}

std::vector<uint8_t> DeviceModel::ChangeRate(uint8_t code) {
    state_ = State::Command;
    // Back to 9600 is how a host ends a conversation: the first half of the end step.
    if (code == kEndRateCode)
        Open(LineStep::End, false);
    else
        Open(std::nullopt, false);
    if (faults_.refusesRateChange) return {kRateRefused};
    const auto entry = std::find_if(std::begin(kRateCodes), std::end(kRateCodes),
                                    [code](const RateEntry& e) { return e.code == code; });
    // A code the unit does not know is refused like any rate it will not take.
    if (entry == std::end(kRateCodes)) return {kRateRefused};
    baudRate_ = entry->rate;
    if (faults_.rateAcknowledgeAlone) return {kAcknowledge};
    return {kAcknowledge, kRateFollowUp};
}

std::vector<uint8_t> DeviceModel::NextDigit() {
    state_ = State::SendingDigits;
    const uint8_t digit = pendingDigits_.front();
    pendingDigits_.erase(pendingDigits_.begin());
    return {digit};
}

std::vector<uint8_t> DeviceModel::Limit(std::vector<uint8_t> bytes) {
    if (faults_.stopAfterBytes < 0) return bytes;
    const size_t allowed = static_cast<size_t>(std::max(0, faults_.stopAfterBytes - bytesSent_));
    if (bytes.size() > allowed) bytes.resize(allowed);
    bytesSent_ += static_cast<int>(bytes.size());
    return bytes;
}

uint8_t DeviceModel::DigitOf(unsigned nibble) const {
    if (nibble < 10) return static_cast<uint8_t>('0' + nibble);
    const char letterA = faults_.lowerCaseDigits ? 'a' : 'A';
    return static_cast<uint8_t>(letterA + nibble - 10);
}

void DeviceModel::QueueValue(uint8_t value) {
    pendingDigits_.push_back(DigitOf(value >> 4));
    pendingDigits_.push_back(DigitOf(value & 0x0F));
}
