// A serial line that writes what crosses the wire to a trace as it happens, and otherwise
// passes every call through to the line it wraps; the link above never knows it is there.
// One line per byte, its direction (> to the unit, < from it) and its time in milliseconds
// since the start, plus one line for each read that timed out, each byte that came with a
// receive error (after the byte) and each call that failed:
//        1002 ms  > 80
//        1004 ms  < 81
//        2102 ms  < (time-out)
//        3204 ms  < 37
//        3204 ms  < (line error: parity, framing)
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "link/Com_p06.h"
#include "platform/Clock.h"
#include "platform/SerialLine.h"

class TracingSerialLine : public SerialLine {
public:
    // startTick: the clock's tick count that the trace counts from. trace: nullptr for
    // none, the line then only notes the last byte received.
    TracingSerialLine(SerialLine& line, Clock& clock, std::ostream* trace, uint32_t startTick);

    Handle Open(const std::string& devicePath) override;
    bool GetState(Handle handle, SerialSettings& settings) override;
    bool SetState(Handle handle, const SerialSettings& settings) override;
    bool GetTimeouts(Handle handle, SerialTimeouts& timeouts) override;
    bool SetTimeouts(Handle handle, const SerialTimeouts& timeouts) override;
    bool Purge(Handle handle, uint32_t flags) override;
    bool WriteByte(Handle handle, uint8_t value, uint32_t& written) override;
    bool ReadByte(Handle handle, uint8_t& value, uint32_t& count) override;
    bool InputWaiting(Handle handle, uint32_t& count) override {
        return line_.InputWaiting(handle, count);
    }
    bool TakeLineErrors(Handle handle, uint32_t& errors) override;
    bool Close(Handle handle) override;
    int32_t LastError() const override { return line_.LastError(); }

    // lookup: the system's path of the port the link opens, asked right after each open
    // that works, so a record names the device that was read even when its alias changes
    // or its port goes away later.
    void SetDeviceLookup(std::function<std::string()> lookup) { lookup_ = std::move(lookup); }
    // device: opened instead of the port the link names, for a device that has no COM
    // number (a pty, a Bluetooth tty).
    void OpenInstead(std::string device) { instead_ = std::move(device); }
    // The device of the last open that worked; empty when none did.
    const std::string& OpenedDevice() const { return openedDevice_; }

    // The unit's reply to the last poll (0x80); -1 when none came, or the line spoiled it.
    int32_t LastPollReply() const { return lastPollReply_; }
    // Whether every trace line was written; if not, the system's code of the failure.
    bool TraceWritten() const { return trace_ == nullptr || trace_->good(); }
    int32_t TraceError() const { return traceError_; }

private:
    void Trace(char direction, const std::string& what);

    SerialLine& line_;
    Clock& clock_;
    std::string instead_;
    std::ostream* trace_;
    uint32_t startTick_;
    bool pollSent_ = false;       // the next byte read answers a poll
    bool pollReplyRead_ = false;  // the last byte read answered a poll
    int32_t lastPollReply_ = -1;
    int32_t traceError_ = 0;
    std::function<std::string()> lookup_;
    std::string openedDevice_;
};
