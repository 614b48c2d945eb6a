// Alone in its file, as the kernel's serial header is not needed by anything else.
#include "platform/posix/PosixOverrunCount.h"

#if defined(__linux__)
#include <linux/serial.h>
#include <sys/ioctl.h>

std::optional<uint32_t> OverrunCount(int fd) {
    serial_icounter_struct counts{};
    if (ioctl(fd, TIOCGICOUNT, &counts) != 0) return std::nullopt;
    return static_cast<uint32_t>(counts.overrun);
}
#else
std::optional<uint32_t> OverrunCount(int) { return std::nullopt; }
#endif
