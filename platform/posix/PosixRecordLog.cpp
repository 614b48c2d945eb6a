// The record log on POSIX: open by path with O_APPEND, flock without waiting, fstat, one
// write, fdatasync. A write that fails (a full disk, a quota, the file size limit) is undone
// with ftruncate.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/RecordLog.h"
#include "platform/posix/PosixFileCalls.h"
#include "platform/posix/PosixRegularFile.h"

namespace record_log {

namespace {

// Tries before giving up on a path that keeps naming another file than the one opened.
constexpr int kOpenTries = 5;
// AppendOnce's word for a record on the disk in a file that no longer has the log's name.
constexpr int32_t kMovedAway = -100;

// errno as this seam reports it.
int32_t Code() {
    if (errno == EINVAL || errno == EISDIR) return kNotRegularFile;
    if (errno == EWOULDBLOCK) return kLocked;
    return errno != 0 ? errno : EIO;
}

int32_t Fail(int fd) {
    const int32_t code = errno != 0 ? errno : EIO;
    ::close(fd);
    return code;
}

// A log that may be read and appended to, or else only appended to (mode 222).
int OpenLog(const std::string& path) {
    const int fd = OpenRegularFile(path, O_RDWR | O_APPEND | O_CREAT);
    if (fd >= 0 || errno != EACCES) return fd;
    return OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT);
}

bool NamesFile(const std::string& path, int fd) {
    struct stat opened{};
    struct stat named{};
    return fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// The log at path, open and locked; -1 with errno on failure (EWOULDBLOCK: another program
// holds the lock). A log renamed or deleted between the open and the lock is left for the
// file that now has its name.
int OpenLocked(const std::string& path) {
    for (int attempt = 0; attempt < kOpenTries; ++attempt) {
        const int fd = OpenLog(path);
        if (fd < 0) return -1;
        while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EINTR) {
                Fail(fd);
                return -1;
            }
        }
        if (NamesFile(path, fd)) return fd;
        ::close(fd);
    }
    errno = ESTALE;
    return -1;
}

// Writes all of text; false with errno when a write failed or took nothing.
bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put =
            file_access::FileCalls().write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

// What goes before the record in a log of that size: the header in an empty one, the line
// end the last record lacks in one cut short. A log that cannot be read is taken as whole.
std::string Lead(int fd, off_t size, const std::string& header, const std::string& lineEnd) {
    if (size == 0) return header;
    char last = '\n';
    if (pread(fd, &last, 1, size - 1) != 1 || last == '\n') return {};
    // Cut between CR and LF: only the LF is missing.
    return last == '\r' && !lineEnd.empty() && lineEnd[0] == '\r' ? lineEnd.substr(1) : lineEnd;
}

// One append under the lock; kMovedAway when the path named another file once the record
// was on the disk.
int32_t AppendOnce(const std::string& path, const std::string& header, const std::string& record,
                   const std::string& lineEnd) {
    errno = 0;
    const int fd = OpenLocked(path);
    if (fd < 0) return Code();
    struct stat status{};
    if (fstat(fd, &status) != 0) return Fail(fd);
    const off_t before = status.st_size;
    const std::string text = Lead(fd, before, header, lineEnd) + record;
    if (!WriteAll(fd, text) || file_access::FileCalls().fdatasync(fd) != 0) {
        const int code = errno != 0 ? errno : EIO;
        // Nothing of a record that is not whole on the disk stays in the log.
        if (ftruncate(fd, before) == 0) file_access::FileCalls().fdatasync(fd);
        ::close(fd);  // the lock goes with the last descriptor
        return code;
    }
    const bool stayed = NamesFile(path, fd);
    ::close(fd);
    return stayed ? 0 : kMovedAway;
}

}  // namespace

int32_t Check(const std::string& path) {
    errno = 0;
    const int fd = OpenLog(path);
    if (fd < 0) return Code();
    ::close(fd);
    return 0;
}

int32_t Append(const std::string& path, const std::string& header, const std::string& record,
               const std::string& lineEnd) {
    int32_t code = kMovedAway;
    for (int attempt = 0; attempt < kOpenTries && code == kMovedAway; ++attempt)
        code = AppendOnce(path, header, record, lineEnd);
    return code == kMovedAway ? ESTALE : code;
}

}  // namespace record_log
