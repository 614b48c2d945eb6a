#include "platform/posix/PosixRegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FileAccess.h"

int OpenRegularFile(const std::string& path, int flags, mode_t mode) {
    // A device is refused before it is opened: opening a serial port raises its DTR line.
    struct stat named{};
    if (stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode) && !S_ISDIR(named.st_mode)) {
        errno = EINVAL;
        return -1;
    }
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    struct stat status{};
    int error = 0;
    if (fstat(fd, &status) != 0)
        error = errno;
    else if (!S_ISREG(status.st_mode))
        error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

namespace file_access {

std::FILE* OpenOwnFile(const std::string& path, const char* mode) {
    const bool update = std::strchr(mode, '+') != nullptr;
    int flags = update ? O_RDWR : O_WRONLY;
    switch (mode[0]) {
        case 'r':
            flags = update ? O_RDWR : O_RDONLY;
            break;
        case 'w':
            flags |= O_CREAT | O_TRUNC;
            break;
        case 'a':
            flags |= O_CREAT | O_APPEND;
            break;
        default:
            errno = EINVAL;
            return nullptr;
    }
    const int fd = OpenRegularFile(path, flags);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, mode);
    if (file == nullptr) ::close(fd);
    return file;
}

}  // namespace file_access
