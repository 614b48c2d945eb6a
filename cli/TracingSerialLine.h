// A serial line that writes what crosses the wire to a trace as it happens, and otherwise
// passes every call through to the line it wraps; the link above never knows it is there.
// One line per byte, its direction (> to the unit, < from it) and its time in milliseconds
// since the start, plus one line for each read that timed out and each call that failed:
//        1002 ms  > 80
//        1004 ms  < 81
//        2102 ms  < (time-out)
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "platform/Clock.h"
#include "platform/SerialLine.h"

class TracingSerialLine : public SerialLine {
public:
    // startTick: the clock's tick count that the trace counts from.
    TracingSerialLine(SerialLine& line, Clock& clock, std::ostream& trace, uint32_t startTick);

    Handle Open(const std::string& devicePath) override;
    bool GetState(Handle handle, SerialSettings& settings) override;
    bool SetState(Handle handle, const SerialSettings& settings) override;
    bool GetTimeouts(Handle handle, SerialTimeouts& timeouts) override;
    bool SetTimeouts(Handle handle, const SerialTimeouts& timeouts) override;
    bool Purge(Handle handle, uint32_t flags) override;
    bool WriteByte(Handle handle, uint8_t value, uint32_t& written) override;
    bool ReadByte(Handle handle, uint8_t& value, uint32_t& count) override;
    bool Close(Handle handle) override;
    int32_t LastError() const override { return line_.LastError(); }

private:
    void Trace(char direction, const std::string& what);

    SerialLine& line_;
    Clock& clock_;
    std::ostream& trace_;
    uint32_t startTick_;
};
