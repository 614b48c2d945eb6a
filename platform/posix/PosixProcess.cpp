#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/Process.h"
#include "platform/posix/PosixSerialLine.h"

namespace {

volatile sig_atomic_t stopSignal = 0;

// The last words, kept where the handler can write them without allocating.
struct LastWords {
    char text[4096];
    volatile sig_atomic_t length;
};
LastWords lastOutput{};
LastWords lastError{};

void Keep(LastWords& words, const std::string& text) {
    words.length = 0;  // the handler writes nothing while the text changes
    const size_t length = std::min(text.size(), sizeof words.text);
    std::memcpy(words.text, text.data(), length);
    words.length = static_cast<sig_atomic_t>(length);
}

void Say(int fd, const LastWords& words) {
    for (sig_atomic_t done = 0, length = words.length; done < length;) {
        const ssize_t put = write(fd, words.text + done, static_cast<size_t>(length - done));
        if (put <= 0) return;
        done += static_cast<sig_atomic_t>(put);
    }
}

// The first stop is only a store: the clean-up runs in the program, once the current step
// returns. A second one does not wait for the unit: the ports get their settings back and
// the process ends with the signal at once.
void NoteStop(int signal) {
    if (stopSignal == 0) {
        stopSignal = signal;
        return;
    }
    RestoreOpenSerialLines();
    Say(STDOUT_FILENO, lastOutput);
    Say(STDERR_FILENO, lastError);
    struct sigaction byDefault{};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    _exit(128 + signal);
}

}  // namespace

void EnsureStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) continue;
        // open gives the lowest free descriptor: this one.
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd) std::_Exit(127);
    }
}

void UseParentConsole() {}

void CatchStopSignals() {
    struct sigaction action{};
    action.sa_handler = NoteStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a read on the port returns at once
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // A closed pipe or the file size limit makes the write fail, which is reported; the
    // program ends after it has put what it holds where it still can.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void SetLastWords(const std::string& output, const std::string& error) {
    Keep(lastOutput, output);
    Keep(lastError, error);
}

int StopSignal() { return stopSignal; }

void EndWithSignal(int signal) {
    std::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    std::_Exit(128 + signal);
}
