// The serial line on POSIX termios, giving the device link the Win32 behaviour it was
// written for: exclusive use, raw bytes with the requested framing, one-byte reads and
// writes bounded by the total time-outs, and the port's own configuration given back at
// close.
#include "platform/posix/PosixSerialLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <exception>
#include <utility>

#include "platform/posix/LinuxDevicePath.h"
#include "platform/SettingsDirectory.h"

namespace {

constexpr uint32_t kSettingsRecordSize = 28;  // DCBlength of the Win32 record
constexpr uint32_t kRtsControlHandshake = 2;
constexpr uint8_t kMarkParity = 3;
constexpr uint8_t kSpaceParity = 4;
constexpr uint8_t kOne5StopBits = 1;
constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

struct RateCode {
    uint32_t rate;
    speed_t code;
};

// The rates termios names. Others (14400, 56000, 128000, 256000 of the Win32 list) go
// through the kernel's free rate setting below.
constexpr RateCode kRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool CodeOfRate(uint32_t rate, speed_t& code) {
    for (const RateCode& entry : kRates) {
        if (entry.rate == rate) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

uint32_t RateOfCode(speed_t code) {
    for (const RateCode& entry : kRates) {
        if (entry.code == code) return entry.rate;
    }
    return 0;
}

// Modem-control requests on a pseudo-terminal fail with EINVAL or ENOTTY: it has no
// DTR or RTS to move, and that is not a fault of the line.
bool SetModemLine(int fd, int line, bool on) {
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
    return errno == EINVAL || errno == ENOTTY;
}

// Unix98 pseudo-terminal devices have majors 136 to 143.
bool IsPseudoTerminal(int fd) {
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) return false;
    const unsigned kind = major(status.st_rdev);
    return kind >= 136 && kind <= 143;
}

// True when the tty has hung up: it polls as such from then on.
bool HungUp(int fd) {
    pollfd entry{fd, POLLOUT, 0};
    return poll(&entry, 1, 0) == 1 && (entry.revents & POLLHUP) != 0;
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    return left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
}

// Waits until the descriptor is ready for events, up to totalMs (-1: without limit),
// resuming after signals with the time still left. Returns the poll revents, 0 on
// time-out, -1 with errno on failure.
int WaitFor(int fd, short events, int64_t totalMs) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(totalMs < 0 ? 0 : totalMs);
    for (;;) {
        pollfd entry{fd, events, 0};
        const int result = poll(&entry, 1, totalMs < 0 ? -1 : RemainingMs(deadline));
        if (result > 0) return entry.revents;
        if (result == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

}  // namespace

// The kernel's free rate setting (termios2 with BOTHER), declared here because the
// kernel's own header clashes with <termios.h>. Its layout is the generic one.
#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__) || defined(__aarch64__) || \
                           defined(__arm__) || defined(__riscv))
namespace {

struct KernelTermios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
static_assert(sizeof(KernelTermios2) == 44);

constexpr tcflag_t kBaudOther = 0010000;  // BOTHER
constexpr int kInputRateShift = 16;       // IBSHIFT: from the output to the input rate bits
constexpr unsigned long kGetTermios2 = _IOR('T', 0x2A, KernelTermios2);
constexpr unsigned long kSetTermios2 = _IOW('T', 0x2B, KernelTermios2);

bool SetFreeRate(int fd, uint32_t rate) {
    KernelTermios2 settings{};
    if (ioctl(fd, kGetTermios2, &settings) != 0) return false;
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << kInputRateShift));
    settings.c_cflag |= kBaudOther | (kBaudOther << kInputRateShift);
    settings.c_ispeed = rate;
    settings.c_ospeed = rate;
    return ioctl(fd, kSetTermios2, &settings) == 0;
}

uint32_t FreeRate(int fd) {
    KernelTermios2 settings{};
    if (ioctl(fd, kGetTermios2, &settings) != 0) return 0;
    return settings.c_ospeed;
}

}  // namespace
#else
namespace {
// Without the kernel's free rate setting only the termios rates exist.
bool SetFreeRate(int, uint32_t) {
    errno = EINVAL;
    return false;
}
uint32_t FreeRate(int) { return 0; }
}  // namespace
#endif

bool SettingsToTermios(const SerialSettings& settings, termios& line, bool& freeRate) {
    // Raw bytes: no line editing, echo, signals, translation or output processing.
    cfmakeraw(&line);
    // Bytes with a parity error reach the link as they came, as on Windows without an
    // error character: Linux turns them into 0 (or marks them) once INPCK is on, so parity
    // is generated and stripped but not checked.
    line.c_iflag &= ~static_cast<tcflag_t>(INPCK | IGNPAR | PARMRK | IXON | IXOFF | IXANY);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cc[VMIN] = 1;  // unused: reads wait in poll()
    line.c_cc[VTIME] = 0;

    switch (settings.ByteSize) {
        case 5:
            line.c_cflag |= CS5;
            break;
        case 6:
            line.c_cflag |= CS6;
            break;
        case 7:
            line.c_cflag |= CS7;
            break;
        case 8:
            line.c_cflag |= CS8;
            break;
        default:
            return false;
    }
    switch (settings.Parity) {
        case kNoParity:
            break;
        case kOddParity:
            line.c_cflag |= PARENB | PARODD;
            break;
        case kEvenParity:
            line.c_cflag |= PARENB;
            break;
        case kMarkParity:
            line.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case kSpaceParity:
            line.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return false;
    }
    switch (settings.StopBits) {
        case kOneStopBit:
            break;
        case kOne5StopBits:  // termios gives 1.5 stop bits for CSTOPB with 5 data bits
        case kTwoStopBits:
            line.c_cflag |= CSTOPB;
            break;
        default:
            return false;
    }
    if (settings.fOutxCtsFlow != 0 || settings.fRtsControl == kRtsControlHandshake) {
        line.c_cflag |= CRTSCTS;
    }
    if (settings.fOutX != 0) line.c_iflag |= IXON;
    if (settings.fInX != 0) line.c_iflag |= IXOFF;
    if (settings.fOutX != 0 || settings.fInX != 0) {
        line.c_cc[VSTART] = settings.XonChar;
        line.c_cc[VSTOP] = settings.XoffChar;
    }

    // A rate of 0 would hang the line up.
    if (settings.BaudRate == 0) return false;
    speed_t code = B38400;  // stands for a free rate until that is set apart
    freeRate = !CodeOfRate(settings.BaudRate, code);
    return cfsetispeed(&line, code) == 0 && cfsetospeed(&line, code) == 0;
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
    // TIOCEXCL keeps other openers out but root passes it; the lock holds against root too.
    // The lock comes first so that a refused open never marks a port someone else holds.
    bool ok = flock(fd, LOCK_EX | LOCK_NB) == 0 && tcgetattr(fd, &port.savedTermios) == 0 &&
              ioctl(fd, TIOCEXCL) == 0;
    const int flags = ok ? fcntl(fd, F_GETFL) : -1;
    ok = ok && flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
    // The unit sees DTR off and RTS on from the start, as the link's settings ask.
    ok = ok && SetModemLine(fd, TIOCM_DTR, false) && SetModemLine(fd, TIOCM_RTS, true);
    if (!ok) {
        const int error = errno;
        ioctl(fd, TIOCNXCL);
        close(fd);
        Fail(error);
        return kInvalidHandle;
    }
    ports_[fd] = port;
    return fd;
}

bool PosixSerialLine::GetState(Handle handle, SerialSettings& settings) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    const int fd = static_cast<int>(handle);
    termios current{};
    if (tcgetattr(fd, &current) != 0) return Fail(errno);

    SerialSettings read{};
    read.DCBlength = kSettingsRecordSize;
    read.BaudRate = RateOfCode(cfgetospeed(&current));
    if (read.BaudRate == 0) read.BaudRate = FreeRate(fd);
    read.fBinary = 1;
    switch (current.c_cflag & CSIZE) {
        case CS5:
            read.ByteSize = 5;
            break;
        case CS6:
            read.ByteSize = 6;
            break;
        case CS7:
            read.ByteSize = 7;
            break;
        default:
            read.ByteSize = 8;
            break;
    }
    if ((current.c_cflag & PARENB) == 0) {
        read.Parity = kNoParity;
    } else if ((current.c_cflag & CMSPAR) != 0) {
        read.Parity = (current.c_cflag & PARODD) != 0 ? kMarkParity : kSpaceParity;
    } else {
        read.Parity = (current.c_cflag & PARODD) != 0 ? kOddParity : kEvenParity;
    }
    read.fParity = read.Parity != kNoParity ? 1 : 0;
    read.StopBits = (current.c_cflag & CSTOPB) != 0 ? kTwoStopBits : kOneStopBit;
    const bool handshake = (current.c_cflag & CRTSCTS) != 0;
    read.fOutxCtsFlow = handshake ? 1 : 0;
    read.fOutX = (current.c_iflag & IXON) != 0 ? 1 : 0;
    read.fInX = (current.c_iflag & IXOFF) != 0 ? 1 : 0;
    read.XonChar = current.c_cc[VSTART];
    read.XoffChar = current.c_cc[VSTOP];

    bool dtrOn = port->dtrOn;
    bool rtsOn = port->rtsOn;
    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) == 0) {
        dtrOn = (lines & TIOCM_DTR) != 0;
        rtsOn = (lines & TIOCM_RTS) != 0;
    }
    read.fDtrControl = dtrOn ? kDtrControlEnable : kDtrControlDisable;
    read.fRtsControl =
        handshake ? kRtsControlHandshake : (rtsOn ? kRtsControlEnable : kRtsControlDisable);
    settings = read;
    return true;
}

bool PosixSerialLine::SetState(Handle handle, const SerialSettings& settings) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    const int fd = static_cast<int>(handle);
    termios wanted{};
    if (tcgetattr(fd, &wanted) != 0) {
        // A line that hung up (adapter unplugged, far side of a pseudo-terminal gone) has no
        // configuration left to set or give back; refusing would keep the link from ever
        // closing the dead port.
        return errno == EIO && HungUp(fd) ? true : Fail(errno);
    }
    bool freeRate = false;
    if (!SettingsToTermios(settings, wanted, freeRate)) return Fail(EINVAL);
    // glibc reports EINVAL when the kernel did not keep every framing bit. A pseudo-terminal
    // never keeps parity or a byte size other than 8; everything else it took.
    if (tcsetattr(fd, TCSANOW, &wanted) != 0 && !(errno == EINVAL && IsPseudoTerminal(fd))) {
        return Fail(errno);
    }
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

bool PosixSerialLine::Purge(Handle handle, uint32_t flags) {
    if (Find(handle) == nullptr) return false;
    const bool input = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    const bool output = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    if (!input && !output) return true;
    const int queue = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    if (tcflush(static_cast<int>(handle), queue) != 0) return Fail(errno);
    return true;
}

bool PosixSerialLine::WriteByte(Handle handle, uint8_t value, uint32_t& written) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    const int fd = static_cast<int>(handle);
    const SerialTimeouts& t = port->timeouts;
    const uint64_t total = uint64_t{t.WriteTotalTimeoutMultiplier} + t.WriteTotalTimeoutConstant;
    // Both zero means no write time-out, as on Windows.
    const int64_t limit = total == 0 ? -1 : static_cast<int64_t>(total);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(total);
    written = 0;
    for (;;) {
        const int64_t left = limit < 0 ? -1 : RemainingMs(deadline);
        const int ready = WaitFor(fd, POLLOUT, left);
        if (ready < 0) return Fail(errno);
        // Time-out: the byte did not go out, which Windows reports as success.
        if (ready == 0) return true;
        if ((ready & POLLNVAL) != 0) return Fail(EBADF);
        if ((ready & (POLLERR | POLLHUP)) != 0 && (ready & POLLOUT) == 0) return Fail(EIO);
        const ssize_t result = write(fd, &value, 1);
        if (result == 1) {
            written = 1;
            return true;
        }
        if (result < 0 && errno != EINTR && errno != EAGAIN) return Fail(errno);
    }
}

bool PosixSerialLine::ReadByte(Handle handle, uint8_t& value, uint32_t& count) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    const int fd = static_cast<int>(handle);
    const SerialTimeouts& t = port->timeouts;
    // One byte is asked for, so the total time-out is one multiplier plus the constant.
    const uint64_t total = uint64_t{t.ReadTotalTimeoutMultiplier} + t.ReadTotalTimeoutConstant;
    int64_t limit = static_cast<int64_t>(total);
    if (total == 0) {
        // Windows: an interval of MAXDWORD with no totals returns at once, all zero waits.
        limit = t.ReadIntervalTimeout == kMaxDword ? 0 : -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(total);
    count = 0;
    for (;;) {
        const int64_t left = limit < 0 ? -1 : RemainingMs(deadline);
        const int ready = WaitFor(fd, POLLIN, left);
        if (ready < 0) return Fail(errno);
        if (ready == 0) return true;  // time-out: a count of 0, not an error
        if ((ready & POLLNVAL) != 0) return Fail(EBADF);
        if ((ready & POLLIN) == 0) {
            // Hung up with nothing left to read (the far side of a pseudo-terminal went
            // away, an adapter was unplugged). poll() would report it again at once, so
            // it ends the read as the I/O error it is rather than spinning to the time-out.
            return Fail(EIO);
        }
        uint8_t byte = 0;
        const ssize_t result = read(fd, &byte, 1);
        if (result == 1) {
            value = byte;
            count = 1;
            return true;
        }
        if (result == 0) return Fail(EIO);  // end of file: the line hung up
        if (errno != EINTR && errno != EAGAIN) return Fail(errno);
    }
}

bool PosixSerialLine::Close(Handle handle) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    const int fd = static_cast<int>(handle);
    // Best effort: a line that hung up cannot take its configuration back, and the
    // descriptor must go anyway.
    tcsetattr(fd, TCSANOW, &port->savedTermios);
    // Exclusive mode outlives the descriptor on a tty that stays open elsewhere.
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    ports_.erase(fd);
    // Linux frees the descriptor even when close() reports an error, so the port is
    // closed in any case and a retry could only hit another file.
    close(fd);
    return true;
}

std::unique_ptr<SerialLine> MakeSystemSerialLine() { return std::make_unique<PosixSerialLine>(); }
