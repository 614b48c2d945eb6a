// The clock on Windows: the system tick counter and Sleep.
#include "platform/Clock.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

class Win32Clock : public Clock {
public:
    uint32_t TickCount() override { return GetTickCount(); }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }
    // The program is a windowed one: it has no console, so no key press can ever wait in a
    // console input buffer. Always false, as the link expects.
    bool KeyPressed() override { return false; }
};

}  // namespace

std::unique_ptr<Clock> MakeSystemClock() { return std::make_unique<Win32Clock>(); }
