// Waits on a tty bounded by the line's time-outs. A deadline on the monotonic clock, not a
// count of milliseconds, so that signals and the rounding of each wait never shorten the
// whole: no wait ends before its time.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// The end of a wait; none means without limit.
using LineDeadline = std::optional<std::chrono::steady_clock::time_point>;

// The deadline ms from now; a negative ms means none.
LineDeadline DeadlineIn(int64_t ms);
// Waits until the descriptor is ready for events or the deadline passes. Returns the poll
// revents, 0 at the deadline, -1 with errno on failure.
int WaitFor(int fd, short events, const LineDeadline& deadline);
// True when the tty has hung up: it polls as such from then on.
bool HungUp(int fd);
