// A serial line for tests: records every call and byte, answers from a script of
// incoming bytes and silences, or from a device model, and can fail any call.
// A silent read advances the fake clock by the read time-out, as a real port would wait.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/SerialLine.h"
#include "sim/DeviceModel.h"
#include "tests/support/FakeClock.h"

class FakeSerialLine : public SerialLine {
public:
    explicit FakeSerialLine(FakeClock& clock) : clock_(clock) {}

    // Answers from a device model: each byte written is fed to it, its answer queued. A late
    // answer is readable only once the clock has reached it; an unplug fails every read and
    // write with EIO until the port is closed (opened again, it is plugged back in).
    void AttachModel(DeviceModel* model) { model_ = model; }
    // A bench where units come and go: the unit on the line at each moment (nullptr: none).
    // A unit that goes takes its answers not yet read with it.
    void AttachBench(std::function<DeviceModel*(uint32_t now)> unitAt) {
        unitAt_ = std::move(unitAt);
    }
    // Queues bytes the unit sends; std::nullopt is one read that times out.
    void Queue(std::initializer_list<int> bytes);  // -1 stands for a silence
    void QueueSilence() { incoming.push_back(std::nullopt); }

    Handle Open(const std::string& devicePath) override;
    bool GetState(Handle handle, SerialSettings& settings) override;
    bool SetState(Handle handle, const SerialSettings& settings) override;
    bool GetTimeouts(Handle handle, SerialTimeouts& timeouts) override;
    bool SetTimeouts(Handle handle, const SerialTimeouts& timeouts) override;
    bool Purge(Handle handle, uint32_t flags) override;
    bool WriteByte(Handle handle, uint8_t value, uint32_t& written) override;
    bool ReadByte(Handle handle, uint8_t& value, uint32_t& count) override;
    // With a model, the answers queued and not read; with a script, waitingBytes.
    bool InputWaiting(Handle handle, uint32_t& count) override;
    // The errors of lineErrorsAt for the bytes read since the last call.
    bool TakeLineErrors(Handle handle, uint32_t& errors) override;
    bool Close(Handle handle) override;
    int32_t LastError() const override { return lastError_; }

    // What the host did, in order: "open \\.\COM2", "state 9600", "timeouts", "purge 15",
    // "write 80", "read 81", "read timeout", "close".
    std::vector<std::string> calls;
    std::vector<uint8_t> sent;                    // every byte written
    std::deque<std::optional<uint8_t>> incoming;  // what the next reads return
    std::vector<SerialSettings> statesSet;        // every SetState, in order
    std::vector<SerialTimeouts> timeoutsSet;      // every SetTimeouts, in order
    SerialSettings portState = PortAtRest();      // what GetState reports
    SerialTimeouts portTimeouts;                  // what GetTimeouts reports
    bool isOpen = false;
    bool unplugged = false;

    // Failure injection: the error code a call fails with (0: it succeeds).
    int32_t openError = 0;
    int32_t getStateError = 0;
    int32_t setStateError = 0;
    int32_t getTimeoutsError = 0;
    int32_t setTimeoutsError = 0;
    int32_t purgeError = 0;
    int32_t writeError = 0;
    int32_t readError = 0;
    int32_t inputWaitingError = 0;
    // A script stands for answers still to come: these are what a look finds already there.
    uint32_t waitingBytes = 0;
    int looks = 0;  // InputWaiting calls, kept out of calls
    int32_t closeError = 0;
    uint32_t writeTimeMs = 0;      // what each byte written takes on the line
    int writesBeforeFailure = -1;  // the write after this many succeeds fails with writeError
    // Receive errors (kLineError*), script or model alike: the byte read when bytesRead is
    // the key (0: the first byte this line delivers) comes with them. takeLineErrorsError
    // fails TakeLineErrors; takes counts its calls, kept out of calls.
    std::map<uint32_t, uint32_t> lineErrorsAt;
    uint32_t bytesRead = 0;
    int32_t takeLineErrorsError = 0;
    int takes = 0;

    static constexpr Handle kFakeHandle = 7;

    // A port as a machine leaves it: 9600 bit/s, 8 data bits, no parity, DTR and RTS on.
    static SerialSettings PortAtRest() {
        SerialSettings s;
        s.DCBlength = 28;
        s.BaudRate = 9600;
        s.fBinary = 1;
        s.fDtrControl = kDtrControlEnable;
        s.fRtsControl = kRtsControlEnable;
        s.ByteSize = 8;
        s.Parity = kNoParity;
        s.StopBits = kOneStopBit;
        s.XonChar = 0x11;
        s.XoffChar = 0x13;
        return s;
    }

private:
    bool Fail(int32_t code);
    uint32_t ReadTimeoutMs() const;
    bool ReadAnswer(uint8_t& value, uint32_t& count);
    void Delivered(uint32_t& count);
    void FollowBench();

    FakeClock& clock_;
    DeviceModel* model_ = nullptr;
    std::function<DeviceModel*(uint32_t)> unitAt_;
    struct Answer {
        uint8_t byte;
        uint32_t due;  // the clock's tick from which it can be read
    };
    std::deque<Answer> answers_;  // a model's, in order
    SerialTimeouts current_{};
    int32_t lastError_ = 0;
    int writes_ = 0;
    uint32_t lineErrors_ = 0;  // of the bytes delivered since the last TakeLineErrors
};
