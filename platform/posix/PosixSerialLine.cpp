// The serial line on POSIX termios, giving the device link the Win32 behaviour it was
// written for: exclusive use, raw bytes with the requested framing, and the port's own
// configuration given back at close. The byte transfers are in PosixSerialLineIo.cpp.
#include "platform/posix/PosixSerialLine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <exception>
#include <utility>

#include "platform/SettingsDirectory.h"
#include "platform/posix/LinuxDevicePath.h"
#include "platform/posix/PosixKernelRate.h"
#include "platform/posix/PosixLineWait.h"
#include "platform/posix/PosixOverrunCount.h"
#include "platform/posix/PosixPseudoTerminal.h"
#include "platform/posix/PosixTermiosTranslation.h"

namespace {

// Modem-control requests on a pseudo-terminal fail with EINVAL or ENOTTY: it has no
// DTR or RTS to move, and that is not a fault of the line.
bool SetModemLine(int fd, int line, bool on) {
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
    return errno == EINVAL || errno == ENOTTY;
}

// A line that hung up (adapter unplugged, far side of a pseudo-terminal gone) has no
// configuration left to set or give back; refusing would keep the link from ever
// closing the dead port.
bool FailedForHangUp(int fd) { return errno == EIO && HungUp(fd); }

// The lines open in this process, for a signal handler that must put them back at once:
// plain slots that the handler reads without locks or allocation.
struct HeldLine {
    std::atomic<int> fd{-1};  // -1: a free slot
    termios saved{};
};
HeldLine heldLines[8];

void Hold(int fd, const termios& saved) {
    for (HeldLine& held : heldLines) {
        if (held.fd.load() != -1) continue;
        held.saved = saved;
        held.fd.store(fd);
        return;
    }
}

void LetGo(int fd) {
    for (HeldLine& held : heldLines)
        if (held.fd.load() == fd) held.fd.store(-1);
}

}  // namespace

void RestoreOpenSerialLines() {
    for (HeldLine& held : heldLines) {
        const int fd = held.fd.load();
        if (fd < 0) continue;
        tcsetattr(fd, TCSANOW, &held.saved);
        ioctl(fd, TIOCNXCL);
    }
}

PosixSerialLine::PosixSerialLine(std::string aliasDir) : aliasDir_(std::move(aliasDir)) {}

PosixSerialLine::~PosixSerialLine() {
    while (!ports_.empty()) Close(ports_.begin()->first);
}

std::string PosixSerialLine::AliasDirectory() const {
    if (!aliasDir_.empty()) return aliasDir_;
    try {
        return PortAliasDirectory();
    } catch (const std::exception&) {
        // Without a settings folder there are no aliases; kernel devices still resolve.
        return {};
    }
}

PosixSerialLine::Port* PosixSerialLine::Find(Handle handle) {
    const auto found = ports_.find(static_cast<int>(handle));
    if (found == ports_.end()) {
        lastError_ = EBADF;
        return nullptr;
    }
    return &found->second;
}

bool PosixSerialLine::Fail(int error) {
    lastError_ = error;
    return false;
}

// Makes the freshly opened tty this line's own; false with errno when it cannot be.
bool PosixSerialLine::TakePort(int fd, Port& port) {
    // TIOCEXCL keeps other openers out but root passes it; the lock holds against root too.
    // The lock comes first so that a refused open never touches a port someone else holds.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || tcgetattr(fd, &port.savedTermios) != 0) return false;
    if (HasFreeRate(port.savedTermios)) port.savedFreeRate = FreeRate(fd);
    port.input.SetMarked((port.savedTermios.c_iflag & PARMRK) != 0);
    port.overruns = OverrunCount(fd);
    // With the lock ours, the exclusive mode is ours too, even when a holder that died left
    // it set on a pseudo-terminal that outlived it.
    if (ioctl(fd, TIOCEXCL) != 0) return false;
    port.setExclusive = true;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return false;
    // The unit sees DTR off and RTS on from the start, as the link's settings ask.
    return SetModemLine(fd, TIOCM_DTR, false) && SetModemLine(fd, TIOCM_RTS, true);
}

// Undoes what this line's own open set, and nothing that another holder set.
void PosixSerialLine::ReleasePort(int fd, const Port& port) {
    // Exclusive mode outlives the descriptor on a tty that stays open elsewhere.
    if (port.setExclusive) ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
}

SerialLine::Handle PosixSerialLine::Open(const std::string& devicePath) {
    const std::string path = ResolveDevicePath(devicePath, AliasDirectory());
    if (path.empty()) {
        Fail(ENOENT);
        return kInvalidHandle;
    }
    // Non-blocking only for the open itself, which would otherwise wait for carrier.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Fail(errno);
        return kInvalidHandle;
    }
    Port port;
    if (!TakePort(fd, port)) {
        const int error = errno;
        ReleasePort(fd, port);
        close(fd);
        Fail(error);
        return kInvalidHandle;
    }
    ports_[fd] = port;
    Hold(fd, port.savedTermios);
    return fd;
}

bool PosixSerialLine::GetState(Handle handle, SerialSettings& settings) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    const int fd = static_cast<int>(handle);
    termios current{};
    if (tcgetattr(fd, &current) != 0) return Fail(errno);
    SerialSettings read = TermiosToSettings(current, HasFreeRate(current) ? FreeRate(fd) : 0);

    bool dtrOn = port->dtrOn;
    bool rtsOn = port->rtsOn;
    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) == 0) {
        dtrOn = (lines & TIOCM_DTR) != 0;
        rtsOn = (lines & TIOCM_RTS) != 0;
    }
    read.fDtrControl = dtrOn ? kDtrControlEnable : kDtrControlDisable;
    if (read.fOutxCtsFlow == 0) read.fRtsControl = rtsOn ? kRtsControlEnable : kRtsControlDisable;
    settings = read;
    return true;
}

bool PosixSerialLine::SetState(Handle handle, const SerialSettings& settings) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    const int fd = static_cast<int>(handle);
    termios wanted{};
    if (tcgetattr(fd, &wanted) != 0) return FailedForHangUp(fd) || Fail(errno);
    bool freeRate = false;
    if (!SettingsToTermios(settings, wanted, freeRate)) return Fail(EINVAL);
    // glibc reports EINVAL when the kernel did not keep every framing bit. A pseudo-terminal
    // never keeps parity or a byte size other than 8; everything else it took.
    const bool set = tcsetattr(fd, TCSANOW, &wanted) == 0;
    const int error = errno;
    // Bytes are decoded as the tty now delivers them, whatever of the request it kept.
    termios kept{};
    port->input.SetMarked(((tcgetattr(fd, &kept) == 0 ? kept : wanted).c_iflag & PARMRK) != 0);
    if (!set && !(error == EINVAL && IsPseudoTerminal(fd))) return Fail(error);
    if (freeRate && !SetFreeRate(fd, settings.BaudRate)) return Fail(errno);

    const bool dtrOn = settings.fDtrControl != kDtrControlDisable;
    const bool rtsOn = settings.fRtsControl != kRtsControlDisable;
    if (!SetModemLine(fd, TIOCM_DTR, dtrOn) || !SetModemLine(fd, TIOCM_RTS, rtsOn)) {
        return Fail(errno);
    }
    port->dtrOn = dtrOn;
    port->rtsOn = rtsOn;
    return true;
}

bool PosixSerialLine::GetTimeouts(Handle handle, SerialTimeouts& timeouts) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    timeouts = port->timeouts;
    return true;
}

bool PosixSerialLine::SetTimeouts(Handle handle, const SerialTimeouts& timeouts) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    port->timeouts = timeouts;
    return true;
}

// The descriptor goes whatever happens; the first failure is what the caller learns.
bool PosixSerialLine::Close(Handle handle) {
    Port* found = Find(handle);
    if (found == nullptr) return false;
    const int fd = static_cast<int>(handle);
    const Port port = *found;
    ports_.erase(fd);
    LetGo(fd);
    int error = 0;
    if (tcsetattr(fd, TCSANOW, &port.savedTermios) != 0) {
        if (!FailedForHangUp(fd)) error = errno;
    } else if (port.savedFreeRate != 0 && !SetFreeRate(fd, port.savedFreeRate)) {
        error = errno;
    }
    ReleasePort(fd, port);
    // Linux frees the descriptor even when close() reports an error, so the port is
    // closed in any case and a retry could only hit another file.
    if (close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
    return error == 0 || Fail(error);
}

std::unique_ptr<SerialLine> MakeSystemSerialLine() { return std::make_unique<PosixSerialLine>(); }
