// The simulated unit on arbitrary host bytes. p06-sim serves the device model to whatever
// opens its port (the bench program, the reader, a terminal emulator a technician tries),
// so the model must never fall over, and must never answer out of protocol: a host that
// follows the protocol has to be able to trust every byte it gets.
//
// A small checker, written from the protocol's device side, follows the conversation and
// says for each host byte what the unit may answer:
//   poll 0x80            0x81 (accepts), 0x85 (gives the line up) or 0x00 (not yet);
//                        within a conversation it starts over and is accepted again
//   0x86, 0x87, 0x89 aa  hexadecimal digits, one, then one after each 0x84, for the type
//                        (3 characters), the circuit version or the memory byte at aa
//   0x9E rr              0x84 and one more byte to accept rate code rr, one other byte
//                        to refuse it
//   0x04                 one byte, any value, in or out of a conversation; it is over
//   anything else        nothing
// Digits are '0'..'9' and 'A'..'F', or 'a'..'f' when the unit is set to lower case.
// A unit set to stop after N bytes sends the first N bytes of that and nothing after.
//
// Input layout:
//   byte 0      faults: bit 1 refuses, bit 2 lower case, bit 3 refuses rate changes,
//               bits 4-5 polls answered 0x00 before it accepts, bit 6 stops after byte 1
//               bytes, bits 0 and 7 together: silent
//   byte 1      bytes before it stops (with bit 6)
//   bytes 2-4   type identifier; 5-8 serial number (lowest byte first); 9 circuit
//               version; 10-11 software version
//   the rest    the host's bytes
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sim/DeviceModel.h"

namespace {

constexpr size_t kHeaderSize = 12;

void Require(bool condition, const char* what, uint8_t host) {
    if (!condition) {
        std::fprintf(stderr, "sim_fuzz: after host byte 0x%02X: %s\n", host, what);
        std::abort();
    }
}

int HexValue(uint8_t byte) {
    if (byte >= '0' && byte <= '9') return byte - '0';
    if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
    if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
    return -1;
}

// One byte the unit may send: exactly `value`, any byte, or any byte but `value`.
struct Slot {
    enum Kind { Exactly, Any, AnyBut } kind;
    uint8_t value;

    bool Admits(uint8_t byte) const {
        switch (kind) {
            case Exactly:
                return byte == value;
            case AnyBut:
                return byte != value;
            case Any:
                return true;
        }
        return false;
    }
};

class ProtocolChecker {
public:
    ProtocolChecker(const UnitConfig& unit, const FaultConfig& faults)
        : unit_(unit), faults_(faults) {}

    // Checks the unit's answer to one host byte and follows the conversation.
    void Check(uint8_t host, const std::vector<uint8_t>& answer) {
        const std::vector<Slot> allowed = Expect(host);
        size_t length = allowed.size();
        if (faults_.silent) length = 0;
        if (faults_.stopAfterBytes >= 0) {
            const size_t left = sent_ >= faults_.stopAfterBytes
                                    ? 0
                                    : static_cast<size_t>(faults_.stopAfterBytes - sent_);
            if (length > left) length = left;
        }
        Require(answer.size() == length, "answer of the wrong length", host);
        for (size_t i = 0; i < length; ++i)
            Require(allowed[i].Admits(answer[i]), "a byte out of protocol", host);
        sent_ += static_cast<int>(answer.size());
    }

private:
    enum class Phase { Idle, Command, Digits, RateHigh, RateLow, AddressHigh, AddressLow };

    // What the unit may send for this byte, before its faults cut it short.
    std::vector<Slot> Expect(uint8_t host) {
        if (faults_.silent) return {};
        // The end byte is answered in every state, outside a conversation too: a host that
        // closes its port ends the conversation once more and waits for that answer.
        if (host == 0x04) {
            phase_ = Phase::Idle;
            digits_.clear();
            return {{Slot::Any, 0}};
        }
        if (phase_ == Phase::Idle) {
            if (host != 0x80) return {};
            if (faults_.refuses) return {{Slot::Exactly, 0x85}};
            if (pollsRefused_ < faults_.acceptAfterPolls) {
                ++pollsRefused_;
                return {{Slot::Exactly, 0x00}};
            }
            return Accept();
        }
        if (host == 0x80) return Accept();
        switch (phase_) {
            case Phase::Command:
                return Command(host);
            case Phase::Digits:
                if (host != 0x84) return {};
                if (digits_.empty()) {
                    phase_ = Phase::Command;
                    return {};
                }
                return NextDigit();
            case Phase::RateHigh:
            case Phase::AddressHigh:
                if (HexValue(host) < 0) return {};
                high_ = HexValue(host);
                phase_ = phase_ == Phase::RateHigh ? Phase::RateLow : Phase::AddressLow;
                return {};
            case Phase::RateLow:
                if (HexValue(host) < 0) return {};
                phase_ = Phase::Command;
                return Rate(static_cast<uint8_t>(high_ * 16 + HexValue(host)));
            case Phase::AddressLow:
                if (HexValue(host) < 0) return {};
                QueueValue(Memory(static_cast<uint8_t>(high_ * 16 + HexValue(host))));
                return NextDigit();
            case Phase::Idle:
                break;
        }
        return {};
    }

    std::vector<Slot> Accept() {
        phase_ = Phase::Command;
        digits_.clear();
        return {{Slot::Exactly, 0x81}};
    }

    std::vector<Slot> Command(uint8_t host) {
        switch (host) {
            case 0x86:
                for (size_t i = 0; i < 3; ++i)
                    QueueValue(i < unit_.type.size() ? static_cast<uint8_t>(unit_.type[i]) : ' ');
                return NextDigit();
            case 0x87:
                QueueValue(unit_.circuitVersion);
                return NextDigit();
            case 0x89:
                phase_ = Phase::AddressHigh;
                return {};
            case 0x9E:
                phase_ = Phase::RateHigh;
                return {};
            default:
                return {};
        }
    }

    // The codes the host sends for its rates; any other code may be refused.
    std::vector<Slot> Rate(uint8_t code) {
        const uint8_t known[] = {0xFF, 0x56, 0x40, 0x20, 0x15, 0x14, 0x0A, 0x09, 0x04, 0x81};
        bool isKnown = false;
        for (uint8_t k : known) isKnown = isKnown || k == code;
        if (faults_.refusesRateChange || !isKnown) return {{Slot::AnyBut, 0x84}};
        return {{Slot::Exactly, 0x84}, {Slot::Any, 0}};
    }

    uint8_t Memory(uint8_t address) const {
        if (address >= 0x78 && address <= 0x7B)
            return static_cast<uint8_t>(unit_.serialNumber >> (8 * (address - 0x78)));
        if (address == 0x7E) return unit_.softwareFirst;
        if (address == 0x7F) return unit_.softwareSecond;
        return 0;
    }

    uint8_t Digit(unsigned nibble) const {
        if (nibble < 10) return static_cast<uint8_t>('0' + nibble);
        return static_cast<uint8_t>((faults_.lowerCaseDigits ? 'a' : 'A') + nibble - 10);
    }

    void QueueValue(uint8_t value) {
        digits_.push_back(Digit(value >> 4));
        digits_.push_back(Digit(value & 0x0F));
    }

    std::vector<Slot> NextDigit() {
        phase_ = Phase::Digits;
        const uint8_t digit = digits_.front();
        digits_.erase(digits_.begin());
        return {{Slot::Exactly, digit}};
    }

    UnitConfig unit_;
    FaultConfig faults_;
    Phase phase_ = Phase::Idle;
    std::vector<uint8_t> digits_;  // still owed, each after an 0x84
    int high_ = 0;
    int pollsRefused_ = 0;
    int sent_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderSize) return 0;
    FaultConfig faults;
    faults.silent = (data[0] & 0x81) == 0x81;
    faults.refuses = (data[0] & 0x02) != 0;
    faults.lowerCaseDigits = (data[0] & 0x04) != 0;
    faults.refusesRateChange = (data[0] & 0x08) != 0;
    faults.acceptAfterPolls = (data[0] >> 4) & 0x03;
    faults.stopAfterBytes = (data[0] & 0x40) != 0 ? data[1] : -1;
    UnitConfig unit;
    unit.type.assign(reinterpret_cast<const char*>(data + 2), 3);
    unit.serialNumber = static_cast<uint32_t>(data[5]) | static_cast<uint32_t>(data[6]) << 8 |
                        static_cast<uint32_t>(data[7]) << 16 | static_cast<uint32_t>(data[8]) << 24;
    unit.circuitVersion = data[9];
    unit.softwareFirst = data[10];
    unit.softwareSecond = data[11];

    DeviceModel model(unit, faults);
    ProtocolChecker checker(unit, faults);
    for (size_t i = kHeaderSize; i < size; ++i) checker.Check(data[i], model.Receive(data[i]));
    return 0;
}
