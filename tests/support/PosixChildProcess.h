// Child processes for the Linux tests: a user other than root (whom permissions do not
// stop), a body run in a child that sends its outcome back as text, another program holding
// a file or port open. Every child is waited for by its own process id; none outlives its
// test. POSIX only: no test built for Windows includes this.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

// Gives up root for the user nobody, without supplementary groups. True when that worked or
// when the process was not root (permissions already apply to it).
inline bool DropToNobody() {
    if (geteuid() != 0) return true;
    return setgroups(0, nullptr) == 0 && setresgid(kNogroup, kNogroup, kNogroup) == 0 &&
           setresuid(kNobody, kNobody, kNobody) == 0;
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
    char chunk[256];
    for (ssize_t got; (got = read(channel[0], chunk, sizeof chunk)) > 0;) result.append(chunk, got);
    close(channel[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return "(child failed)";
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
            const char answer = take() ? 'y' : 'n';
            if (write(ready[1], &answer, 1) != 1) _exit(1);
            for (;;) pause();
        }
        close(ready[1]);
        char answer = 'n';
        held_ = pid_ > 0 && read(ready[0], &answer, 1) == 1 && answer == 'y';
        close(ready[0]);
    }
    ~HoldingProcess() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    HoldingProcess(const HoldingProcess&) = delete;
    HoldingProcess& operator=(const HoldingProcess&) = delete;

    // The child took what it was asked to hold.
    bool Held() const { return held_; }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};
