// A clock whose time moves only when something waits on it, so a one-second purge or
// an 1100 ms read time-out costs no real time.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Clock.h"

class FakeClock : public Clock {
public:
    explicit FakeClock(uint32_t start = 0) : now(start) {}

    uint32_t TickCount() override { return now; }
    void Sleep(uint32_t ms) override {
        sleeps.push_back(ms);
        now += ms;
    }
    bool KeyPressed() override { return keyPressed; }
    void Advance(uint32_t ms) { now += ms; }

    uint32_t now;
    bool keyPressed = false;
    std::vector<uint32_t> sleeps;  // every Sleep, in order
};
