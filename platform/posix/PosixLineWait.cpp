#include "platform/posix/PosixLineWait.h"

#include <poll.h>

#include <cerrno>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;

timespec TimeLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
    if (left.count() <= 0) return timespec{0, 0};
    return timespec{static_cast<time_t>(left.count() / 1000000000),
                    static_cast<long>(left.count() % 1000000000)};
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
        if (deadline) left = TimeLeft(*deadline);
        // ppoll takes the time left to the nanosecond and waits at least that long.
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
