// The serial line seam: the handful of calls the device link makes on a port.
// Each call mirrors one Win32 communication call; failures leave the platform's own
// error code in LastError() (GetLastError on Windows, errno on POSIX), always below 100001.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The line configuration, member for member the Win32 DCB fields the link sets.
struct SerialSettings {
    uint32_t DCBlength = 0;
    uint32_t BaudRate = 0;
    uint32_t fBinary = 0;
    uint32_t fParity = 0;
    uint32_t fOutxCtsFlow = 0;
    uint32_t fOutxDsrFlow = 0;
    uint32_t fDtrControl = 0;
    uint32_t fDsrSensitivity = 0;
    uint32_t fTXContinueOnXoff = 0;
    uint32_t fOutX = 0;
    uint32_t fInX = 0;
    uint32_t fErrorChar = 0;
    uint32_t fNull = 0;
    uint32_t fRtsControl = 0;
    uint32_t fAbortOnError = 0;
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;
    uint8_t StopBits = 0;
    uint8_t XonChar = 0;
    uint8_t XoffChar = 0;
    uint8_t ErrorChar = 0;
    uint8_t EofChar = 0;
    uint8_t EvtChar = 0;

    bool operator==(const SerialSettings&) const = default;
};

// Win32 values of the settings members the link uses.
inline constexpr uint32_t kDtrControlDisable = 0;
inline constexpr uint32_t kDtrControlEnable = 1;
inline constexpr uint32_t kRtsControlDisable = 0;
inline constexpr uint32_t kRtsControlEnable = 1;
inline constexpr uint8_t kNoParity = 0;
inline constexpr uint8_t kOddParity = 1;
inline constexpr uint8_t kEvenParity = 2;
inline constexpr uint8_t kOneStopBit = 0;
inline constexpr uint8_t kTwoStopBits = 2;

// Time-outs in milliseconds, as the Win32 COMMTIMEOUTS record.
struct SerialTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const SerialTimeouts&) const = default;
};

// Purge flags, as PurgeComm takes them.
inline constexpr uint32_t kPurgeTxAbort = 0x01;
inline constexpr uint32_t kPurgeRxAbort = 0x02;
inline constexpr uint32_t kPurgeTxClear = 0x04;
inline constexpr uint32_t kPurgeRxClear = 0x08;

// Receive errors, as ClearCommError reports them: each spoils the byte it came with, or
// (an overrun) lost bytes before it.
inline constexpr uint32_t kLineErrorOverrun = 0x0002;  // CE_OVERRUN: the port lost bytes
inline constexpr uint32_t kLineErrorParity = 0x0004;   // CE_RXPARITY
inline constexpr uint32_t kLineErrorFrame = 0x0008;    // CE_FRAME: no stop bit, or a break

class SerialLine {
public:
    using Handle = intptr_t;
    static constexpr Handle kInvalidHandle = -1;

    virtual ~SerialLine() = default;

    // Opens a device path such as "\\.\COM3" for exclusive read and write.
    virtual Handle Open(const std::string& devicePath) = 0;
    virtual bool GetState(Handle handle, SerialSettings& settings) = 0;
    virtual bool SetState(Handle handle, const SerialSettings& settings) = 0;
    virtual bool GetTimeouts(Handle handle, SerialTimeouts& timeouts) = 0;
    virtual bool SetTimeouts(Handle handle, const SerialTimeouts& timeouts) = 0;
    virtual bool Purge(Handle handle, uint32_t flags) = 0;
    // Writes one byte; written tells how many went out.
    virtual bool WriteByte(Handle handle, uint8_t value, uint32_t& written) = 0;
    // Reads one byte within the read time-outs; a count of 0 on time-out is success.
    virtual bool ReadByte(Handle handle, uint8_t& value, uint32_t& count) = 0;
    // How many received bytes wait to be read, without waiting for any (Win32: the input
    // queue of ClearCommError).
    virtual bool InputWaiting(Handle handle, uint32_t& count) = 0;
    // The receive errors (kLineError*) the port saw since the last call, cleared by this
    // one; the link asks right after each byte it reads, so they are that byte's.
    virtual bool TakeLineErrors(Handle handle, uint32_t& errors) = 0;
    virtual bool Close(Handle handle) = 0;
    // The error code of the last failing call.
    virtual int32_t LastError() const = 0;
};

// The machine's own serial line (termios on POSIX, the Win32 calls on Windows).
std::unique_ptr<SerialLine> MakeSystemSerialLine();
