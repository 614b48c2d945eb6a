#include "platform/posix/PosixLineWait.h"

#include <poll.h>

#include <cerrno>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;

// The time left, less the slack Linux allows itself on a poll that long (a thousandth of
// it), so that the wake-up comes before the deadline, never 1.1 ms after an 1100 ms one;
// the rest is waited in a second, far shorter round.
timespec WaitBefore(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
    if (left.count() <= 0) return timespec{0, 0};
    const int64_t ns = left.count() - left.count() / 1000;
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

}  // namespace

LineDeadline DeadlineIn(int64_t ms) {
    if (ms < 0) return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(ms);
}

int WaitFor(int fd, short events, const LineDeadline& deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        timespec left{};
        if (deadline) left = WaitBefore(*deadline);
        // ppoll takes the time to the nanosecond and waits at least that long.
        const int result = ppoll(&entry, 1, deadline ? &left : nullptr, nullptr);
        if (result > 0) return entry.revents;
        if (result == 0 && (!deadline || Clock::now() >= *deadline)) return 0;
        if (result < 0 && errno != EINTR) return -1;
    }
}

bool HungUp(int fd) {
    pollfd entry{fd, POLLOUT, 0};
    return poll(&entry, 1, 0) == 1 && (entry.revents & POLLHUP) != 0;
}
