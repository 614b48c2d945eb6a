// The transmitter's controller as a pure state machine: bytes from the host in, the
// unit's answer bytes out, no I/O and no time. p06-sim serves it on a pseudo-terminal;
// the tests drive the device link against it through the fake line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct UnitConfig {
    std::string type = "P06";
    uint32_t serialNumber = 4660;
    uint8_t circuitVersion = 3;
    uint8_t softwareFirst = 2;
    uint8_t softwareSecond = 5;
};

struct FaultConfig {
    bool silent = false;             // never answers anything
    bool refuses = false;            // answers every poll with 0x85
    int acceptAfterPolls = 0;        // answers the first N polls with 0x00, then accepts
    int stopAfterBytes = -1;         // goes silent once it has sent this many bytes (-1: never)
    bool lowerCaseDigits = false;    // sends 'a' to 'f' instead of 'A' to 'F'
    bool refusesRateChange = false;  // answers a rate change with 0x00 instead of 0x84
};

class DeviceModel {
public:
    explicit DeviceModel(UnitConfig unit = {}, FaultConfig faults = {});

    // Takes one byte from the host; returns the bytes the unit sends in answer.
    std::vector<uint8_t> Receive(uint8_t byte);

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
    std::vector<uint8_t> Answer(uint8_t byte);
    std::vector<uint8_t> Command(uint8_t byte);
    std::vector<uint8_t> ChangeRate(uint8_t code);
    std::vector<uint8_t> NextDigit();
    std::vector<uint8_t> Limit(std::vector<uint8_t> bytes);
    uint8_t DigitOf(unsigned nibble) const;
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
    int bytesSent_ = 0;
    uint32_t baudRate_ = 9600;
    uint8_t firstDigit_ = 0;
    std::vector<uint8_t> pendingDigits_;  // digits still to send, each after an 0x84
};
