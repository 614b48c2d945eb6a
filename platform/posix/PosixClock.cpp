// The clock on POSIX: a monotonic millisecond counter, so that changes of the wall-clock
// time never shorten or stretch a wait of the device link.
#include <cerrno>
#include <ctime>

#include "platform/Clock.h"

namespace {

class PosixClock : public Clock {
public:
    uint32_t TickCount() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u +
                            static_cast<uint64_t>(now.tv_nsec) / 1000000u;
        // Wraps after 2^32 ms like the Win32 tick count.
        return static_cast<uint32_t>(ms);
    }

    void Sleep(uint32_t ms) override {
        timespec remaining{static_cast<time_t>(ms / 1000u),
                           static_cast<long>(ms % 1000u) * 1000000L};
        // A signal cuts nanosleep short; the rest of the wait is still owed.
        while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
        }
    }

    // The program runs without a console: no key press ever waits.
    bool KeyPressed() override { return false; }
};

}  // namespace

std::unique_ptr<Clock> MakeSystemClock() { return std::make_unique<PosixClock>(); }
