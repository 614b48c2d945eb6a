// The byte transfers of the POSIX serial line: one byte in or out, bounded by the total
// time-outs as Windows bounds them, and the purge of both queues.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/PosixLineWait.h"
#include "platform/posix/PosixSerialLine.h"

namespace {

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

}  // namespace

bool PosixSerialLine::Purge(Handle handle, uint32_t flags) {
    if (Find(handle) == nullptr) return false;
    const bool input = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    const bool output = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    if (!input && !output) return true;
    const int queue = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    if (tcflush(static_cast<int>(handle), queue) != 0) return Fail(errno);
    return true;
}

bool PosixSerialLine::InputWaiting(Handle handle, uint32_t& count) {
    if (Find(handle) == nullptr) return false;
    int waiting = 0;
    if (ioctl(static_cast<int>(handle), FIONREAD, &waiting) != 0) return Fail(errno);
    count = static_cast<uint32_t>(waiting);
    return true;
}

bool PosixSerialLine::WriteByte(Handle handle, uint8_t value, uint32_t& written) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    const int fd = static_cast<int>(handle);
    const SerialTimeouts& t = port->timeouts;
    const uint64_t total = uint64_t{t.WriteTotalTimeoutMultiplier} + t.WriteTotalTimeoutConstant;
    // Both zero means no write time-out, as on Windows.
    const LineDeadline deadline = DeadlineIn(total == 0 ? -1 : static_cast<int64_t>(total));
    written = 0;
    for (;;) {
        const int ready = WaitFor(fd, POLLOUT, deadline);
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
    const LineDeadline deadline = DeadlineIn(limit);
    count = 0;
    for (;;) {
        const int ready = WaitFor(fd, POLLIN, deadline);
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
