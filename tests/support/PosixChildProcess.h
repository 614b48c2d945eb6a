// Child processes for the Linux tests: a user other than root (whom permissions do not
// stop), a body run in a child that sends its outcome back as text, another program holding
// a file or port open. Every child is waited for by its own process id; none outlives its
// test. POSIX only: no test built for Windows includes this.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

// How long a child may take to answer or to end before its test gives up on it.
constexpr int kChildLimitMs = 10000;

// Reads fd until end of file or, with stopAtNewline, the first line end (not kept), within
// timeoutMs in all; false when the time ran out first, so that a writer that stops writing
// fails its test instead of hanging it.
inline bool ReadWithin(int fd, std::string& text, int timeoutMs, bool stopAtNewline = false) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return false;
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left)) <= 0) continue;
        char chunk[256];
        const ssize_t got = read(fd, chunk, stopAtNewline ? 1 : sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return !stopAtNewline;
        if (stopAtNewline && chunk[0] == '\n') return true;
        text.append(chunk, static_cast<size_t>(got));
    }
}

// Waits for the child to end, by its id, for timeoutMs; past that kills it (SIGKILL). Its
// wait status, or -1 when pid is no child of this process.
inline int WaitWithin(pid_t pid, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid) return status;
        if (ended < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

// Gives up root for the user nobody, without supplementary groups. True when that worked or
// when the process was not root (permissions already apply to it).
inline bool DropToNobody() {
    if (geteuid() != 0) return true;
    return setgroups(0, nullptr) == 0 && setresgid(kNogroup, kNogroup, kNogroup) == 0 &&
           setresuid(kNobody, kNobody, kNobody) == 0;
}

// Copies program to path, executable by anyone, and opens its folder to others: the build
// folder may be out of nobody's reach (a clone in root's 0700 home, say). Returns path.
inline std::string CopyForNobody(const std::string& program, const std::string& path) {
    namespace fs = std::filesystem;
    const auto open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec;
    fs::copy_file(program, path);
    fs::permissions(path, open);
    fs::permissions(fs::path(path).parent_path(), open);
    return path;
}

// Runs body in a child process, as nobody when asked, and returns the text it produced.
inline std::string InChildProcess(bool asNobody, const std::function<std::string()>& body) {
    int channel[2];
    if (pipe(channel) != 0) return "(no pipe)";
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::string result = "(could not become nobody)";
        if (!asNobody || DropToNobody()) {
            try {
                result = body();
            } catch (...) {
                result = "(unexpected exception)";
            }
        }
        const bool sent =
            write(channel[1], result.data(), result.size()) == static_cast<ssize_t>(result.size());
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    std::string result;
    const bool answered = ReadWithin(channel[0], result, kChildLimitMs);
    close(channel[0]);
    if (child < 0) return "(child failed)";
    const int status = WaitWithin(child, answered ? kChildLimitMs : 0);
    if (!answered) return "(child gave no answer within " + std::to_string(kChildLimitMs) + " ms)";
    if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return "(child failed)";
    return result;
}

// Another program that has something open: `take` runs in a child process, which then keeps
// what it took until this object goes and the child is killed.
class HoldingProcess {
public:
    explicit HoldingProcess(const std::function<bool()>& take) {
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            const char* answer = take() ? "y\n" : "n\n";
            if (write(ready[1], answer, 2) != 2) _exit(1);
            for (;;) pause();
        }
        close(ready[1]);
        std::string answer;
        held_ = pid_ > 0 && ReadWithin(ready[0], answer, kChildLimitMs, true) && answer == "y";
        close(ready[0]);
    }
    ~HoldingProcess() {
        if (pid_ <= 0) return;
        WaitWithin(pid_, 0);
    }
    HoldingProcess(const HoldingProcess&) = delete;
    HoldingProcess& operator=(const HoldingProcess&) = delete;

    // The child took what it was asked to hold.
    bool Held() const { return held_; }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};
