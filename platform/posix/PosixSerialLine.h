// The serial line on POSIX termios. A handle is the file descriptor of the open tty; the
// configuration found at open, the lock and the time-outs are kept per handle.
#pragma once

#include <termios.h>

#include <map>
#include <optional>
#include <string>

#include "platform/SerialLine.h"
#include "platform/posix/PosixMarkedInput.h"

class PosixSerialLine : public SerialLine {
public:
    // aliasDir: where the COM<n> aliases live; empty means PortAliasDirectory().
    explicit PosixSerialLine(std::string aliasDir = {});
    ~PosixSerialLine() override;
    PosixSerialLine(const PosixSerialLine&) = delete;
    PosixSerialLine& operator=(const PosixSerialLine&) = delete;

    Handle Open(const std::string& devicePath) override;
    bool GetState(Handle handle, SerialSettings& settings) override;
    bool SetState(Handle handle, const SerialSettings& settings) override;
    bool GetTimeouts(Handle handle, SerialTimeouts& timeouts) override;
    bool SetTimeouts(Handle handle, const SerialTimeouts& timeouts) override;
    bool Purge(Handle handle, uint32_t flags) override;
    bool WriteByte(Handle handle, uint8_t value, uint32_t& written) override;
    bool ReadByte(Handle handle, uint8_t& value, uint32_t& count) override;
    bool InputWaiting(Handle handle, uint32_t& count) override;
    bool TakeLineErrors(Handle handle, uint32_t& errors) override;
    bool Close(Handle handle) override;
    int32_t LastError() const override { return lastError_; }

private:
    struct Port {
        termios savedTermios{};      // as found at open, given back at close
        uint32_t savedFreeRate = 0;  // the kernel's rate at open, when termios has no name for it
        bool setExclusive = false;   // this open, not another holder, made the tty exclusive
        SerialTimeouts timeouts{};
        // What was last asked of DTR and RTS, for lines that cannot report them (a pty).
        bool dtrOn = false;
        bool rtsOn = true;
        // Read from the tty, marks undone, not yet given to the link; what the link is told
        // waits and what a purge clears, with the tty's own queue.
        PosixMarkedInput input;
        uint32_t lineErrors = 0;           // of the bytes given since the link last asked
        std::optional<uint32_t> overruns;  // the kernel's count when last looked at, if kept
    };

    Port* Find(Handle handle);
    bool Fail(int error);
    std::string AliasDirectory() const;
    bool TakePort(int fd, Port& port);
    void ReleasePort(int fd, const Port& port);

    std::string aliasDir_;
    std::map<int, Port> ports_;
    int32_t lastError_ = 0;
};

// Gives each line open in this process the configuration it had when opened, and takes
// back its exclusive mode; only async-signal-safe calls, for a process that ends at once.
void RestoreOpenSerialLines();
