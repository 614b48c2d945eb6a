// Alone in its file: the kernel's <asm/termbits.h> redefines the termios names of the C
// library's <termios.h>, so the two never meet in one translation unit.
#include "platform/posix/PosixKernelRate.h"

#include <cerrno>

#if defined(__linux__)
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetFreeRate(int fd, uint32_t rate) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) return false;
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = rate;
    settings.c_ospeed = rate;
    return ioctl(fd, TCSETS2, &settings) == 0;
}

uint32_t FreeRate(int fd) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
    return settings.c_ospeed;
}
#else
// Without the kernel's free rate setting only the termios rates exist.
bool SetFreeRate(int, uint32_t) {
    errno = EINVAL;
    return false;
}
uint32_t FreeRate(int) { return 0; }
#endif
