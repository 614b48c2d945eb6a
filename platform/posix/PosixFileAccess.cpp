// The settings file's calls on POSIX. Windows opens the file without sharing; here each
// open takes an exclusive lock on its open file description, so a second open, in this
// process or another, fails while the first holder keeps the file.
//
// A created file is written to a temporary file beside it, which replaces the file (fsync,
// rename) only once a write has gone through whole: a write that fails half-way (a quota,
// a full disk, an I/O error) leaves the file as it was, or absent on a first start.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/FileAccess.h"
#include "platform/posix/PosixFileCalls.h"
#include "platform/posix/PosixRegularFile.h"

namespace file_access {

PosixFileCalls& FileCalls() {
    static PosixFileCalls calls{::write, ::fsync, ::rename, ::fdatasync};
    return calls;
}

namespace {

// A created file until its handle closes: the lock on the path and the file being written.
struct Creation {
    int data = -1;         // the temporary file; after the replace, the file itself
    std::string path;      // the settings file
    std::string tempPath;  // empty once it replaced the file
    bool created = false;  // the path was made by this creation, empty, to hold the name
};

std::mutex creationsMutex;
std::map<int, Creation> creations;  // by the descriptor that holds the lock on the path

int ToFd(Handle file) { return static_cast<int>(file); }

// Locks the freshly opened file, or closes it when another holder has it.
int Hold(int fd) {
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The descriptor the bytes go to and come from.
int DataFd(Handle file) {
    std::lock_guard<std::mutex> lock(creationsMutex);
    const auto found = creations.find(ToFd(file));
    return found != creations.end() ? found->second.data : ToFd(file);
}

bool SyncFolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = FileCalls().fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// The temporary file takes the place of the settings file, for good on the disk.
bool Replace(Creation& creation) {
    if (FileCalls().fsync(creation.data) != 0 ||
        FileCalls().rename(creation.tempPath.c_str(), creation.path.c_str()) != 0)
        return false;
    creation.tempPath.clear();
    creation.created = false;
    // The rename is done; a folder that cannot be synced leaves it to the system.
    SyncFolderOf(creation.path);
    return true;
}

}  // namespace

bool Exists(const std::string& path) {
    struct stat status{};
    return stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

Handle OpenExisting(const std::string& path) {
    const int fd = Hold(OpenRegularFile(path, O_RDONLY));
    return fd < 0 ? kInvalidFile : static_cast<Handle>(fd);
}

Handle CreateAlways(const std::string& path) {
    Creation creation;
    creation.path = path;
    // The path is held (made empty if missing) so that nobody opens it meanwhile; a file
    // that another holder keeps is refused with its contents whole.
    int hold = OpenRegularFile(path, O_RDWR | O_CREAT | O_EXCL);
    creation.created = hold >= 0;
    if (hold < 0 && errno == EEXIST) hold = OpenRegularFile(path, O_RDWR);
    hold = Hold(hold);
    struct stat status{};
    if (hold < 0 || fstat(hold, &status) != 0) {
        if (hold >= 0) ::close(hold);
        return kInvalidFile;
    }
    std::string temp = path + ".XXXXXX";
    creation.data = mkostemp(temp.data(), O_CLOEXEC);
    if (creation.data >= 0) {
        creation.tempPath = temp;
        // The new file keeps the old one's permissions (or the umask's, on a first start).
        fchmod(creation.data, status.st_mode & 07777);
        flock(creation.data, LOCK_EX | LOCK_NB);
    } else {
        if (creation.created) ::unlink(path.c_str());
        ::close(hold);
        return kInvalidFile;
    }
    std::lock_guard<std::mutex> lock(creationsMutex);
    creations[hold] = creation;
    return static_cast<Handle>(hold);
}

// The settings directory has no second place on Linux: the file goes back where it was.
Handle CreateWriteBack(const std::string& path) { return CreateAlways(path); }

bool Read(Handle file, char* buffer, uint32_t length, uint32_t& count) {
    ssize_t got;
    do {
        got = ::read(DataFd(file), buffer, length);
    } while (got < 0 && errno == EINTR);
    count = got < 0 ? 0 : static_cast<uint32_t>(got);
    return got >= 0;
}

bool Write(Handle file, const char* buffer, uint32_t length, uint32_t& count) {
    const int fd = DataFd(file);
    uint32_t done = 0;
    while (done < length) {
        const ssize_t put = FileCalls().write(fd, buffer + done, length - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<uint32_t>(put);
    }
    count = done;
    if (done != length) return false;
    std::lock_guard<std::mutex> lock(creationsMutex);
    const auto found = creations.find(ToFd(file));
    if (found == creations.end()) return true;
    // A created file takes its place at its first whole write; later writes add to it.
    if (!found->second.tempPath.empty()) return Replace(found->second);
    return FileCalls().fsync(fd) == 0;
}

void Close(Handle file) {
    if (file == kInvalidFile) return;
    Creation creation;
    {
        std::lock_guard<std::mutex> lock(creationsMutex);
        const auto found = creations.find(ToFd(file));
        if (found != creations.end()) {
            creation = found->second;
            creations.erase(found);
        }
    }
    // A creation that never wrote whole leaves the file as it found it.
    if (!creation.tempPath.empty()) ::unlink(creation.tempPath.c_str());
    if (creation.created) ::unlink(creation.path.c_str());
    if (creation.data >= 0) ::close(creation.data);
    ::close(ToFd(file));
}

int32_t LastError() { return errno; }

bool OnlyAnAdministratorCanAllow() { return false; }

// A file here lives only at its path, whose bytes are what messages show.
std::string UsedPath(const std::string& path) { return path; }

}  // namespace file_access
