// The byte transfers of the POSIX serial line: one byte in or out, bounded by the total
// time-outs as Windows bounds them, the purge of both queues, and the receive errors. Bytes
// come off the tty as they are there, into the port's input, which undoes Linux's marks
// of the bytes received in error; the link is given them from there one by one.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/PosixLineWait.h"
#include "platform/posix/PosixOverrunCount.h"
#include "platform/posix/PosixSerialLine.h"

namespace {

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;
// Bytes moved from the tty at a time.
constexpr size_t kReadChunk = 256;
// The most a look moves into the port's input, as the tty's own buffer holds no more: a
// line that streams bytes nobody reads must not grow it without end.
constexpr size_t kMostHeld = 4096;

// Moves up to most bytes the tty holds into input; read()'s result. Called only when the
// tty has bytes, so it never blocks.
ssize_t MoveInput(int fd, PosixMarkedInput& input, size_t most) {
    uint8_t bytes[kReadChunk];
    const ssize_t got = read(fd, bytes, std::min(most, sizeof bytes));
    if (got > 0) input.Add(bytes, static_cast<size_t>(got));
    return got;
}

}  // namespace

bool PosixSerialLine::Purge(Handle handle, uint32_t flags) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    const int fd = static_cast<int>(handle);
    const bool input = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    const bool output = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    if (!input && !output) return true;
    if (input) {
        // What the port read ahead goes with the tty's queue, and so do the errors the
        // discarded bytes came with.
        port->input.Clear();
        port->lineErrors = 0;
        if (port->overruns) port->overruns = OverrunCount(fd).value_or(*port->overruns);
    }
    const int queue = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    if (tcflush(fd, queue) != 0) return Fail(errno);
    return true;
}

// The tty counts marks as bytes, so what it holds is moved into the port's input and counted
// as the link will read it; past kMostHeld the rest is counted as the tty holds it.
bool PosixSerialLine::InputWaiting(Handle handle, uint32_t& count) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    const int fd = static_cast<int>(handle);
    int waiting = 0;
    for (;;) {
        if (ioctl(fd, FIONREAD, &waiting) != 0) return Fail(errno);
        if (waiting <= 0 || port->input.Count() >= kMostHeld) break;
        const ssize_t got = MoveInput(fd, port->input, static_cast<size_t>(waiting));
        if (got < 0 && errno != EINTR && errno != EAGAIN) return Fail(errno);
        if (got == 0) break;  // end of file: the read that follows reports the hang-up
    }
    count = static_cast<uint32_t>(port->input.Count() + static_cast<size_t>(std::max(waiting, 0)));
    return true;
}

bool PosixSerialLine::TakeLineErrors(Handle handle, uint32_t& errors) {
    Port* port = Find(handle);
    if (port == nullptr) return false;
    errors = port->lineErrors;
    port->lineErrors = 0;
    if (port->overruns) {
        // A count that cannot be read now (the line hung up) tells nothing new.
        const std::optional<uint32_t> now = OverrunCount(static_cast<int>(handle));
        if (now && *now != *port->overruns) {
            errors |= kLineErrorOverrun;
            port->overruns = now;
        }
    }
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
        PosixMarkedInput::Byte next;
        if (port->input.Take(next)) {
            value = next.value;
            count = 1;
            port->lineErrors |= next.errors;
            return true;
        }
        // Nothing whole yet (or only a mark begun, whose end is on its way): wait for more.
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
        const ssize_t result = MoveInput(fd, port->input, kReadChunk);
        if (result == 0) return Fail(EIO);  // end of file: the line hung up
        if (result < 0 && errno != EINTR && errno != EAGAIN) return Fail(errno);
    }
}
