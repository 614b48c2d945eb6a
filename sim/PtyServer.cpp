// The pseudo-terminal front end of the simulated unit.
#include "sim/PtyServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr size_t kReadChunk = 64;
// The alias's descriptor is this plus the COM number, below the usual limit of 1024 files.
constexpr int kAliasFdBase = 900;
// After a hang-up the master reports it at once on every poll; this keeps that from spinning.
constexpr long kHangUpPauseNs = 50 * 1000 * 1000;

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

void LogByte(const char* direction, uint8_t byte) {
    std::fprintf(stderr, "p06-sim: %s %02X\n", direction, byte);
}

}  // namespace

PtyServer::~PtyServer() {
    if (!aliasPath_.empty()) {
        std::error_code ignored;
        // Only our own alias: someone may have replaced it meanwhile.
        if (fs::is_symlink(aliasPath_, ignored) &&
            fs::read_symlink(aliasPath_, ignored) == aliasTarget_) {
            fs::remove(aliasPath_, ignored);
        }
    }
    if (device_ >= 0) close(device_);
    if (master_ >= 0) close(master_);
    // The lock file stays: removing it could let two simulators lock two different files.
    if (lock_ >= 0) close(lock_);
}

bool PtyServer::LockComNumber(int comNumber, const std::string& aliasDir, std::string& error) {
    const std::string path =
        (fs::path(aliasDir) / (".COM" + std::to_string(comNumber) + ".lock")).string();
    lock_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (lock_ < 0) {
        error = SystemError("cannot open " + path);
        return false;
    }
    if (flock(lock_, LOCK_EX | LOCK_NB) == 0) return true;
    error = errno == EWOULDBLOCK
                ? "COM" + std::to_string(comNumber) + " is served by another simulator"
                : SystemError("cannot lock " + path);
    return false;
}

bool PtyServer::Start(int comNumber, const std::string& aliasDir, std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = SystemError("cannot open a pseudo-terminal");
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = SystemError("cannot name the pseudo-terminal");
        return false;
    }
    devicePath_ = name;
    device_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (device_ < 0) {
        error = SystemError("cannot open " + devicePath_);
        return false;
    }
    // Raw bytes both ways until the host sets its own mode: no echo, no translation.
    termios raw{};
    if (tcgetattr(device_, &raw) != 0) {
        error = SystemError("cannot read the settings of " + devicePath_);
        return false;
    }
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    if (tcsetattr(device_, TCSANOW, &raw) != 0) {
        error = SystemError("cannot set " + devicePath_ + " to raw mode");
        return false;
    }
    // Answers never wait for a host that does not read: the unit's bytes are then lost.
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = SystemError("cannot configure the pseudo-terminal");
        return false;
    }

    std::error_code failure;
    fs::create_directories(aliasDir, failure);
    if (failure) {
        error = "cannot create " + aliasDir + ": " + failure.message();
        return false;
    }
    if (!LockComNumber(comNumber, aliasDir, error)) return false;
    const std::string alias = (fs::path(aliasDir) / ("COM" + std::to_string(comNumber))).string();
    // The alias leads to the port through this process's own descriptor, so it dangles as
    // soon as the simulator is gone, however it ended: a reader can never reach the next
    // program that gets the same pseudo-terminal. The descriptor's number depends on the
    // COM number, so even a recycled process id cannot lead to another simulator's port.
    const int aliasFd = fcntl(device_, F_DUPFD_CLOEXEC, kAliasFdBase + comNumber);
    aliasTarget_ = "/proc/" + std::to_string(getpid()) + "/fd/" +
                   std::to_string(aliasFd >= 0 ? aliasFd : device_);
    // A stale alias (from a simulator that did not end cleanly: its lock is free) is
    // replaced; anything else by that name is the user's, and stays.
    if (fs::is_symlink(fs::symlink_status(alias, failure))) {
        fs::remove(alias, failure);
    } else if (fs::exists(fs::symlink_status(alias, failure))) {
        error = alias + " exists and is not an alias; not replacing it";
        return false;
    }
    fs::create_symlink(aliasTarget_, alias, failure);
    if (failure) {
        error = "cannot create the alias " + alias + ": " + failure.message();
        return false;
    }
    aliasPath_ = alias;
    return true;
}

bool PtyServer::WriteAnswer(const std::vector<uint8_t>& bytes, bool log) {
    for (uint8_t byte : bytes) {
        if (log) LogByte("out", byte);
        ssize_t result;
        do {
            result = write(master_, &byte, 1);
        } while (result < 0 && errno == EINTR);
        if (result < 0 && errno != EAGAIN && errno != EIO) return false;
    }
    return true;
}

bool PtyServer::Serve(DeviceModel& model, const sigset_t& waitMask,
                      const volatile sig_atomic_t& stop, bool log, std::string& error) {
    uint8_t buffer[kReadChunk];
    while (stop == 0) {
        pollfd entry{master_, POLLIN, 0};
        const int ready = ppoll(&entry, 1, nullptr, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) continue;
            error = SystemError("cannot wait on the pseudo-terminal");
            return false;
        }
        const ssize_t count =
            (entry.revents & POLLIN) != 0 ? read(master_, buffer, sizeof buffer) : -1;
        if (count < 0 && ((entry.revents & POLLIN) == 0 || errno == EIO)) {
            // Hung up, no port side open: wait a little, still stoppable by a signal.
            const timespec pause{0, kHangUpPauseNs};
            ppoll(nullptr, 0, &pause, &waitMask);
            continue;
        }
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            error = SystemError("cannot read the pseudo-terminal");
            return false;
        }
        for (ssize_t i = 0; i < count; ++i) {
            if (log) LogByte("in ", buffer[i]);
            if (!WriteAnswer(model.Receive(buffer[i]), log)) {
                error = SystemError("cannot write the pseudo-terminal");
                return false;
            }
        }
    }
    return true;
}
