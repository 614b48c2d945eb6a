// The kernel's free rate setting (termios2 with BOTHER): rates that termios has no name
// for, such as the 14400 and 256000 bit/s of the Win32 list.
#pragma once

#include <cstdint>

// Sets both directions of the line to rate; false with errno on failure.
bool SetFreeRate(int fd, uint32_t rate);
// The line's output rate as the kernel keeps it; 0 when it cannot be read.
uint32_t FreeRate(int fd);
