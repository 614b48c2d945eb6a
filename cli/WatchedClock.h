// A clock that runs a check each time the code that uses it looks at the time or waits:
// the reader's notices stay on time while the link is busy with a unit.
#pragma once

#include <functional>
#include <utility>

#include "platform/Clock.h"

class WatchedClock : public Clock {
public:
    WatchedClock(Clock& clock, std::function<void()> check)
        : clock_(clock), check_(std::move(check)) {}

    uint32_t TickCount() override {
        check_();
        return clock_.TickCount();
    }
    void Sleep(uint32_t ms) override {
        check_();
        clock_.Sleep(ms);
    }
    bool KeyPressed() override { return clock_.KeyPressed(); }

private:
    Clock& clock_;
    std::function<void()> check_;
};
