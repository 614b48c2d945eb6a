#include "platform/posix/PosixPseudoTerminal.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

// Unix98 pseudo-terminal ports have majors 136 to 143.
constexpr unsigned kFirstPtyMajor = 136;
constexpr unsigned kLastPtyMajor = 143;

bool IsPtyDevice(const struct stat& status) {
    const unsigned kind = major(status.st_rdev);
    return S_ISCHR(status.st_mode) && kind >= kFirstPtyMajor && kind <= kLastPtyMajor;
}

}  // namespace

bool IsPseudoTerminal(int fd) {
    struct stat status{};
    return fstat(fd, &status) == 0 && IsPtyDevice(status);
}

bool IsPseudoTerminalPath(const std::string& path) {
    struct stat status{};
    if (stat(path.c_str(), &status) == 0 && IsPtyDevice(status)) return true;
    return path.starts_with("/dev/pts/") || path == "/dev/ptmx";
}
