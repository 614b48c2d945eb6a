// The clock seam: the millisecond tick counter, a blocking sleep and the console key test.
#pragma once

#include <cstdint>
#include <memory>

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary origin; wraps after 2^32 ms.
    virtual uint32_t TickCount() = 0;
    virtual void Sleep(uint32_t ms) = 0;
    // True when a key press waits in the process's console input.
    virtual bool KeyPressed() = 0;
};

std::unique_ptr<Clock> MakeSystemClock();
