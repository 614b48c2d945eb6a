// The line settings between the Win32 record and termios, as pure functions: no descriptor
// and no system call, so every framing, flow control and rate can be checked without a tty.
#pragma once

#include <termios.h>

#include <cstdint>

#include "platform/SerialLine.h"

// Turns the Win32 settings into termios on top of a port's current ones: raw bytes, the
// framing, the flow control and the rate. False when a value has no termios meaning.
// freeRate tells that the rate has no termios name and must be set apart. A rate of 0 is
// B0, the hung-up line some ports are found at: what was read must go back as it was.
bool SettingsToTermios(const SerialSettings& settings, termios& line, bool& freeRate);

// Reads the Win32 settings out of termios. freeRate is the kernel's own rate, used when
// the termios rate has no name (a free rate set apart). The modem lines are the caller's.
SerialSettings TermiosToSettings(const termios& line, uint32_t freeRate);

// True when the termios rate is a free one, set apart from termios.
bool HasFreeRate(const termios& line);
