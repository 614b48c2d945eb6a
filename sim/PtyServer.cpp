// The pseudo-terminal front end of the simulated units.
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
#include <ctime>
#include <filesystem>
#include <vector>

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

// Milliseconds of the monotonic clock: the units' times and the late answers are timed on
// it, so setting the system's clock moves nothing.
uint64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

std::optional<uint64_t> Earliest(std::initializer_list<std::optional<uint64_t>> times) {
    std::optional<uint64_t> earliest;
    for (const auto& t : times)
        if (t && (!earliest || *t < *earliest)) earliest = t;
    return earliest;
}

// Unit k of a --units run: the first one's values, its serial number k further on.
UnitConfig NumberedUnit(const UnitConfig& first, int k) {
    UnitConfig unit = first;
    unit.serialNumber += static_cast<uint32_t>(k);
    return unit;
}

}  // namespace

PtyServer::~PtyServer() {
    RemoveAlias();
    ClosePort();
    // The lock file stays: removing it could let two simulators lock two different files.
    if (lock_ >= 0) close(lock_);
}

void PtyServer::RemoveAlias() {
    if (aliasPath_.empty()) return;
    std::error_code ignored;
    // Only our own alias: someone may have replaced it meanwhile.
    if (fs::is_symlink(aliasPath_, ignored) &&
        fs::read_symlink(aliasPath_, ignored) == aliasTarget_) {
        fs::remove(aliasPath_, ignored);
    }
}

void PtyServer::ClosePort() {
    for (int* fd : {&aliasFd_, &device_, &master_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
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
    std::error_code failure;
    fs::create_directories(aliasDir, failure);
    if (failure) {
        error = "cannot create " + aliasDir + ": " + failure.message();
        return false;
    }
    if (!LockComNumber(comNumber, aliasDir, error)) return false;
    comNumber_ = comNumber;
    aliasPath_ = (fs::path(aliasDir) / ("COM" + std::to_string(comNumber))).string();
    return Plug(error);
}

// Opens a new pseudo-terminal and makes the alias lead to it, as an adapter plugged in.
bool PtyServer::Plug(std::string& error) {
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

    // The alias leads to the port through this process's own descriptor, so it dangles as
    // soon as the simulator is gone, however it ended: a reader can never reach the next
    // program that gets the same pseudo-terminal. The descriptor's number depends on the
    // COM number, so even a recycled process id cannot lead to another simulator's port.
    aliasFd_ = fcntl(device_, F_DUPFD_CLOEXEC, kAliasFdBase + comNumber_);
    aliasTarget_ = "/proc/" + std::to_string(getpid()) + "/fd/" +
                   std::to_string(aliasFd_ >= 0 ? aliasFd_ : device_);
    // A stale alias (from a simulator that did not end cleanly: its lock is free) is
    // replaced; anything else by that name is the user's, and stays.
    std::error_code failure;
    if (fs::is_symlink(fs::symlink_status(aliasPath_, failure))) {
        fs::remove(aliasPath_, failure);
    } else if (fs::exists(fs::symlink_status(aliasPath_, failure))) {
        error = aliasPath_ + " exists and is not an alias; not replacing it";
        return false;
    }
    fs::create_symlink(aliasTarget_, aliasPath_, failure);
    if (failure) {
        error = "cannot create the alias " + aliasPath_ + ": " + failure.message();
        return false;
    }
    return true;
}

// The port goes away as an unplugged adapter's does: the alias first, so a host that sees
// the hang-up no longer finds the port, then the pseudo-terminal, which hangs up the host.
void PtyServer::Unplug() {
    RemoveAlias();
    ClosePort();
    outgoing_.clear();
}

void PtyServer::Present(const PresenceSchedule::Change& change, const SimOptions& options) {
    const UnitConfig unit = NumberedUnit(options.unit, change.unit);
    std::fprintf(stderr, "p06-sim: unit %d of %d (serial %u) %s\n", change.unit + 1, options.units,
                 unit.serialNumber, change.present ? "present" : "gone");
    outgoing_.clear();
    if (change.present)
        unit_.emplace(unit, options.faults);  // a new presence: its faults strike again
    else
        unit_.reset();
}

// The bench's presence at nowMs on the line, each change said with the wall-clock time in
// milliseconds, the soak's reference.
void PtyServer::FollowBench(uint64_t nowMs, const SimOptions& options) {
    const int onLine = bench_->PresenceAt(nowMs - benchStartMs_);
    if (onLine == benchOnLine_) return;
    timespec wall{};
    clock_gettime(CLOCK_REALTIME, &wall);
    const long long wallMs = wall.tv_sec * 1000LL + wall.tv_nsec / 1000000;
    const auto say = [&](int index, const char* what) {
        const BenchScript::Presence& p = bench_->Presences()[static_cast<size_t>(index)];
        std::fprintf(stderr, "p06-sim: bench %lld presence %d serial %u type %s%s %s\n", wallMs,
                     index + 1, p.unit.serialNumber, p.unit.type.c_str(),
                     p.refuses ? " refusing" : "", what);
    };
    if (benchOnLine_ >= 0) say(benchOnLine_, "gone");
    benchOnLine_ = onLine;
    outgoing_.clear();
    unit_.reset();
    if (onLine < 0) return;
    say(onLine, "present");
    const BenchScript::Presence& p = bench_->Presences()[static_cast<size_t>(onLine)];
    FaultConfig faults = options.faults;
    faults.refuses = faults.refuses || p.refuses;
    unit_.emplace(p.unit, faults);
}

std::optional<uint64_t> PtyServer::BenchChangeMs(uint64_t nowMs) const {
    if (!bench_) return std::nullopt;
    const std::optional<uint64_t> next = bench_->NextChangeMs(nowMs - benchStartMs_);
    return next ? std::optional(*next + benchStartMs_) : std::nullopt;
}

// Feeds one byte to the unit on the line; false when the unit unplugged the port.
bool PtyServer::Hear(uint8_t byte, const SimOptions& options, uint64_t nowMs) {
    if (!unit_) return true;  // the line is silent: the byte reaches no unit
    const bool wasInConversation = unit_->InConversation();
    const Reply reply = unit_->ReplyTo(byte);
    if (reply.unplug) {
        Unplug();
        replugAtMs_ = nowMs + options.replugAfterMs;
        std::fprintf(stderr, "p06-sim: COM%d unplugged\n", comNumber_);
        return false;
    }
    if (units_ && wasInConversation && !unit_->InConversation()) units_->ConversationEnded(nowMs);
    Queue(reply, nowMs);
    return true;
}

void PtyServer::Queue(const Reply& reply, uint64_t nowMs) {
    uint64_t due = nowMs + reply.delayMs;
    // The line keeps its order: nothing overtakes a late byte.
    if (!outgoing_.empty() && outgoing_.back().dueMs > due) due = outgoing_.back().dueMs;
    due = ThroughLatencyTimer(due, unit_->Faults().latencyTimerMs);
    for (uint8_t byte : reply.bytes) outgoing_.push_back({due, byte});
}

bool PtyServer::SendDue(uint64_t nowMs, bool log) {
    // The bytes due together go in one write, as a UART sends them back to back: a host that
    // wakes on the first finds the rest already there, however busy the machine.
    std::vector<uint8_t> due;
    while (!outgoing_.empty() && outgoing_.front().dueMs <= nowMs) {
        due.push_back(outgoing_.front().byte);
        outgoing_.pop_front();
        if (log) LogByte("out", due.back());
    }
    size_t done = 0;
    while (done < due.size()) {
        const ssize_t result = write(master_, due.data() + done, due.size() - done);
        if (result < 0 && errno == EINTR) continue;
        if (result < 0 && errno != EAGAIN && errno != EIO) return false;
        if (result <= 0) break;  // a host that does not read loses what it left
        done += static_cast<size_t>(result);
    }
    return true;
}

bool PtyServer::Serve(const SimOptions& options, const sigset_t& waitMask,
                      const volatile sig_atomic_t& stop, std::string& error) {
    benchStartMs_ = NowMs();
    if (options.units > 0 && !bench_)
        units_.emplace(options.units, options.presentMs, options.absentMs, NowMs(),
                       options.absentMaxMs);
    else if (!bench_)
        unit_.emplace(options.unit, options.faults);
    uint8_t buffer[kReadChunk];
    while (stop == 0) {
        uint64_t now = NowMs();
        if (units_)
            for (const auto& change : units_->AdvanceTo(now)) Present(change, options);
        if (bench_) FollowBench(now, options);
        if (replugAtMs_ && *replugAtMs_ <= now) {
            replugAtMs_.reset();
            if (!Plug(error)) return false;
            std::fprintf(stderr, "p06-sim: COM%d plugged in again (%s)\n", comNumber_,
                         devicePath_.c_str());
        }
        if (!SendDue(now, options.dump)) {
            error = SystemError("cannot write the pseudo-terminal");
            return false;
        }

        // Asleep until the host sends, a late byte is due, a unit comes or goes, or the
        // port comes back; unplugged, there is nothing to watch but the time.
        const std::optional<uint64_t> wake = Earliest(
            {outgoing_.empty() ? std::nullopt : std::optional(outgoing_.front().dueMs),
             units_ ? units_->NextChangeMs() : std::nullopt, BenchChangeMs(now), replugAtMs_});
        timespec timeout{};
        if (wake) {
            const uint64_t ms = *wake > now ? *wake - now : 0;
            timeout = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
        }
        pollfd entry{master_, POLLIN, 0};
        const int ready = ppoll(&entry, master_ >= 0 ? 1 : 0, wake ? &timeout : nullptr, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) continue;
            error = SystemError("cannot wait on the pseudo-terminal");
            return false;
        }
        if (ready == 0) continue;
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
        now = NowMs();
        for (ssize_t i = 0; i < count; ++i) {
            if (options.dump) LogByte("in ", buffer[i]);
            // Bytes after an unplug went with the port.
            if (!Hear(buffer[i], options, now)) break;
        }
        if (!SendDue(now, options.dump)) {
            error = SystemError("cannot write the pseudo-terminal");
            return false;
        }
    }
    return true;
}
