// The kernel's count of received bytes a serial port lost because the UART's receive FIFO
// was full. Linux does not mark an overrun among the bytes as it marks parity errors; it
// only counts it, and only drivers of real ports keep the count.
#pragma once

#include <cstdint>
#include <optional>

// The port's overrun count; none when its driver keeps no counts (a pseudo-terminal).
std::optional<uint32_t> OverrunCount(int fd);
