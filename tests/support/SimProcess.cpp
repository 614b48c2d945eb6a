#include "tests/support/SimProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "tests/support/PosixChildProcess.h"

namespace {

constexpr int kReadyTimeoutMs = 5000;

// Execs p06-sim in the child with stdout (and stderr when given) on the pipes.
pid_t Spawn(const std::vector<std::string>& arguments, int outFd, int errFd) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    dup2(outFd, STDOUT_FILENO);
    if (errFd >= 0) dup2(errFd, STDERR_FILENO);
    std::vector<char*> argv;
    static char program[] = P06_SIM_PATH;
    argv.push_back(program);
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program, argv.data());
    _exit(127);
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& options, int comNumber,
                       const std::string& portsDir)
    : portsDir_(portsDir.empty() ? temp_ / "ports" : portsDir), comNumber_(comNumber) {
    // The simulator makes only the last folder of a path given to it.
    std::error_code made;
    std::filesystem::create_directories(portsDir_, made);
    std::vector<std::string> arguments = options;
    arguments.insert(arguments.end(),
                     {"--ports-dir", portsDir_, "--com", std::to_string(comNumber)});
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = Spawn(arguments, out[1], -1);
    close(out[1]);
    std::string line;
    if (pid_ > 0 && ReadWithin(out[0], line, kReadyTimeoutMs, true)) line_ = line;
    close(out[0]);
}

SimProcess::~SimProcess() { Stop(); }

std::string SimProcess::AliasPath() const {
    return portsDir_ + "/COM" + std::to_string(comNumber_);
}

std::string SimProcess::DevicePath() const {
    const std::string before = "serving ";
    const size_t start = line_.find(before);
    if (start == std::string::npos) return {};
    const size_t from = start + before.size();
    return line_.substr(from, line_.find(' ', from) - from);
}

int SimProcess::Stop(int signal) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    const int status = WaitWithin(pid_, kChildLimitMs);
    pid_ = -1;
    return status;
}

std::vector<std::string> SimOptions(const ReadUnit& unit) {
    return {"--serial",   std::to_string(unit.serialNumber),
            "--circuit",  std::to_string(unit.circuitVersion),
            "--software", unit.softwareVersion};
}

SimRun RunSim(const std::vector<std::string>& arguments) {
    SimRun run;
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return run;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return run;
    }
    const pid_t pid = Spawn(arguments, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    ReadWithin(out[0], run.out, kReadyTimeoutMs);
    ReadWithin(err[0], run.err, kReadyTimeoutMs);
    close(out[0]);
    close(err[0]);
    if (pid <= 0) return run;
    // A run that does not end by itself (it started serving) is stopped here.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadyTimeoutMs);
    while (waitpid(pid, &run.status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGTERM);
            run.status = WaitWithin(pid, kChildLimitMs);
            break;
        }
        usleep(10000);
    }
    return run;
}
