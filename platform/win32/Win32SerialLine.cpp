// The serial line on Windows: the Win32 communication calls, one per seam call, on a
// synchronous (non-overlapped) handle. The line settings and time-outs travel as the DCB
// and COMMTIMEOUTS records themselves, member by member.
#include "platform/SerialLine.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <map>

namespace {

static_assert(sizeof(DCB) == 28, "the DCB record the link sets is 28 bytes");
static_assert(kLineErrorOverrun == CE_OVERRUN && kLineErrorParity == CE_RXPARITY &&
                  kLineErrorFrame == CE_FRAME,
              "the receive errors are ClearCommError's own flags");
constexpr DWORD kLineErrors = CE_OVERRUN | CE_RXPARITY | CE_FRAME;

HANDLE ToWin32(SerialLine::Handle handle) { return reinterpret_cast<HANDLE>(handle); }

DCB ToDcb(const SerialSettings& s) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = s.BaudRate;
    dcb.fBinary = s.fBinary;
    dcb.fParity = s.fParity;
    dcb.fOutxCtsFlow = s.fOutxCtsFlow;
    dcb.fOutxDsrFlow = s.fOutxDsrFlow;
    dcb.fDtrControl = s.fDtrControl;
    dcb.fDsrSensitivity = s.fDsrSensitivity;
    dcb.fTXContinueOnXoff = s.fTXContinueOnXoff;
    dcb.fOutX = s.fOutX;
    dcb.fInX = s.fInX;
    dcb.fErrorChar = s.fErrorChar;
    dcb.fNull = s.fNull;
    dcb.fRtsControl = s.fRtsControl;
    dcb.fAbortOnError = s.fAbortOnError;
    dcb.wReserved = s.wReserved;
    dcb.XonLim = s.XonLim;
    dcb.XoffLim = s.XoffLim;
    dcb.ByteSize = s.ByteSize;
    dcb.Parity = s.Parity;
    dcb.StopBits = s.StopBits;
    dcb.XonChar = static_cast<char>(s.XonChar);
    dcb.XoffChar = static_cast<char>(s.XoffChar);
    dcb.ErrorChar = static_cast<char>(s.ErrorChar);
    dcb.EofChar = static_cast<char>(s.EofChar);
    dcb.EvtChar = static_cast<char>(s.EvtChar);
    return dcb;
}

SerialSettings FromDcb(const DCB& dcb) {
    SerialSettings s;
    s.DCBlength = dcb.DCBlength;
    s.BaudRate = dcb.BaudRate;
    s.fBinary = dcb.fBinary;
    s.fParity = dcb.fParity;
    s.fOutxCtsFlow = dcb.fOutxCtsFlow;
    s.fOutxDsrFlow = dcb.fOutxDsrFlow;
    s.fDtrControl = dcb.fDtrControl;
    s.fDsrSensitivity = dcb.fDsrSensitivity;
    s.fTXContinueOnXoff = dcb.fTXContinueOnXoff;
    s.fOutX = dcb.fOutX;
    s.fInX = dcb.fInX;
    s.fErrorChar = dcb.fErrorChar;
    s.fNull = dcb.fNull;
    s.fRtsControl = dcb.fRtsControl;
    s.fAbortOnError = dcb.fAbortOnError;
    s.wReserved = dcb.wReserved;
    s.XonLim = dcb.XonLim;
    s.XoffLim = dcb.XoffLim;
    s.ByteSize = dcb.ByteSize;
    s.Parity = dcb.Parity;
    s.StopBits = dcb.StopBits;
    s.XonChar = static_cast<uint8_t>(dcb.XonChar);
    s.XoffChar = static_cast<uint8_t>(dcb.XoffChar);
    s.ErrorChar = static_cast<uint8_t>(dcb.ErrorChar);
    s.EofChar = static_cast<uint8_t>(dcb.EofChar);
    s.EvtChar = static_cast<uint8_t>(dcb.EvtChar);
    return s;
}

COMMTIMEOUTS ToCommTimeouts(const SerialTimeouts& t) {
    COMMTIMEOUTS c{};
    c.ReadIntervalTimeout = t.ReadIntervalTimeout;
    c.ReadTotalTimeoutMultiplier = t.ReadTotalTimeoutMultiplier;
    c.ReadTotalTimeoutConstant = t.ReadTotalTimeoutConstant;
    c.WriteTotalTimeoutMultiplier = t.WriteTotalTimeoutMultiplier;
    c.WriteTotalTimeoutConstant = t.WriteTotalTimeoutConstant;
    return c;
}

SerialTimeouts FromCommTimeouts(const COMMTIMEOUTS& c) {
    SerialTimeouts t;
    t.ReadIntervalTimeout = c.ReadIntervalTimeout;
    t.ReadTotalTimeoutMultiplier = c.ReadTotalTimeoutMultiplier;
    t.ReadTotalTimeoutConstant = c.ReadTotalTimeoutConstant;
    t.WriteTotalTimeoutMultiplier = c.WriteTotalTimeoutMultiplier;
    t.WriteTotalTimeoutConstant = c.WriteTotalTimeoutConstant;
    return t;
}

class Win32SerialLine : public SerialLine {
public:
    Handle Open(const std::string& devicePath) override {
        // Exclusive (share mode 0), synchronous: one byte at a time under the port's time-outs.
        HANDLE handle = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            Fail();
            return kInvalidHandle;
        }
        return reinterpret_cast<Handle>(handle);
    }

    bool GetState(Handle handle, SerialSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        if (!GetCommState(ToWin32(handle), &dcb)) return Fail();
        settings = FromDcb(dcb);
        return true;
    }

    bool SetState(Handle handle, const SerialSettings& settings) override {
        DCB dcb = ToDcb(settings);
        return SetCommState(ToWin32(handle), &dcb) || Fail();
    }

    bool GetTimeouts(Handle handle, SerialTimeouts& timeouts) override {
        COMMTIMEOUTS c{};
        if (!GetCommTimeouts(ToWin32(handle), &c)) return Fail();
        timeouts = FromCommTimeouts(c);
        return true;
    }

    bool SetTimeouts(Handle handle, const SerialTimeouts& timeouts) override {
        COMMTIMEOUTS c = ToCommTimeouts(timeouts);
        return SetCommTimeouts(ToWin32(handle), &c) || Fail();
    }

    bool Purge(Handle handle, uint32_t flags) override {
        if (!PurgeComm(ToWin32(handle), flags)) return Fail();
        // The errors kept from earlier looks belong to bytes now discarded.
        if ((flags & (kPurgeRxAbort | kPurgeRxClear)) != 0) lineErrors_.erase(handle);
        return true;
    }

    bool WriteByte(Handle handle, uint8_t value, uint32_t& written) override {
        DWORD count = 0;
        BOOL ok = WriteFile(ToWin32(handle), &value, 1, &count, nullptr);
        written = count;
        return ok || Fail();
    }

    bool ReadByte(Handle handle, uint8_t& value, uint32_t& count) override {
        uint8_t byte = 0;
        DWORD got = 0;
        BOOL ok = ReadFile(ToWin32(handle), &byte, 1, &got, nullptr);
        count = got;
        if (!ok) return Fail();
        if (got == 1) value = byte;
        return true;
    }

    // ClearCommError gives the queue and clears the errors in one call: the errors are kept
    // for TakeLineErrors.
    bool InputWaiting(Handle handle, uint32_t& count) override {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(ToWin32(handle), &errors, &status)) return Fail();
        if ((errors & kLineErrors) != 0) lineErrors_[handle] |= errors & kLineErrors;
        count = status.cbInQue;
        return true;
    }

    bool TakeLineErrors(Handle handle, uint32_t& errors) override {
        DWORD found = 0;
        if (!ClearCommError(ToWin32(handle), &found, nullptr)) return Fail();
        errors = found & kLineErrors;
        const auto kept = lineErrors_.find(handle);
        if (kept != lineErrors_.end()) {
            errors |= kept->second;
            lineErrors_.erase(kept);
        }
        return true;
    }

    bool Close(Handle handle) override {
        lineErrors_.erase(handle);
        return CloseHandle(ToWin32(handle)) || Fail();
    }

    int32_t LastError() const override { return lastError_; }

private:
    // Keeps GetLastError of the call that just failed; always false for the caller to return.
    bool Fail() {
        lastError_ = static_cast<int32_t>(GetLastError());
        return false;
    }

    int32_t lastError_ = 0;
    // Per handle, the receive errors InputWaiting's ClearCommError found and nobody took yet.
    std::map<Handle, uint32_t> lineErrors_;
};

}  // namespace

std::unique_ptr<SerialLine> MakeSystemSerialLine() { return std::make_unique<Win32SerialLine>(); }
