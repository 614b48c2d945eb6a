// The settings file's calls on POSIX. Windows opens the file without sharing; here each
// open takes an exclusive lock on its open file description, so a second open, in this
// process or another, fails while the first holder keeps the file.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileAccess.h"

namespace file_access {

namespace {

int ToFd(Handle file) { return static_cast<int>(file); }

// Locks the freshly opened file, or closes it when another holder has it.
Handle Hold(int fd) {
    if (fd < 0) return kInvalidFile;
    struct stat status {};
    // A folder is not a file: Windows refuses to open one as such.
    if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return kInvalidFile;
    }
    return static_cast<Handle>(fd);
}

}  // namespace

bool Exists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

Handle OpenExisting(const std::string& path) {
    return Hold(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
}

Handle CreateAlways(const std::string& path) {
    // No O_TRUNC: a file that another holder keeps must come through with its contents,
    // so it is cut only once the lock is ours.
    Handle file = Hold(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
    if (file != kInvalidFile && ftruncate(ToFd(file), 0) != 0) {
        ::close(ToFd(file));
        return kInvalidFile;
    }
    return file;
}

bool Read(Handle file, char* buffer, uint32_t length, uint32_t& count) {
    ssize_t got;
    do {
        got = ::read(ToFd(file), buffer, length);
    } while (got < 0 && errno == EINTR);
    count = got < 0 ? 0 : static_cast<uint32_t>(got);
    return got >= 0;
}

bool Write(Handle file, const char* buffer, uint32_t length, uint32_t& count) {
    ssize_t put;
    do {
        put = ::write(ToFd(file), buffer, length);
    } while (put < 0 && errno == EINTR);
    count = put < 0 ? 0 : static_cast<uint32_t>(put);
    return put >= 0;
}

void Close(Handle file) {
    if (file != kInvalidFile) ::close(ToFd(file));
}

}  // namespace file_access
