// p06-sim: a simulated P06 unit on a pseudo-terminal, registered as a COM port alias so
// that the bench program, the command-line reader and the integration tests find it.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/CommandLine.h"
#include "platform/Process.h"
#include "platform/SettingsDirectory.h"
#include "platform/SystemPorts.h"
#include "sim/BenchScript.h"
#include "sim/PtyServer.h"
#include "sim/SimOptions.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;

volatile sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

// Prints text on standard output; a failed write is a failure.
int Print(const std::string& text) {
    if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return kExitOk;
    std::perror("p06-sim: cannot write the standard output");
    return kExitFailure;
}

int Run(int argc, char** argv) {
    EnsureStandardStreams();
    const ParsedOptions parsed = ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fputs(BadOptionText("p06-sim", parsed.error).c_str(), stderr);
        return kExitBadOption;
    }
    const SimOptions& options = parsed.options;
    if (options.help) return Print(SimUsage());
    if (options.version) return Print(VersionLine("p06-sim"));

    // The stopping signals stay blocked except while the server waits, so the alias is
    // always removed however early a stop comes.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    struct sigaction action{};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);

    std::string aliasDir = options.portsDir;
    // A folder given by hand is made only inside one that exists: a mistyped path would
    // hide the alias where no reader looks.
    std::error_code lookError;
    std::filesystem::path folder =
        std::filesystem::absolute(aliasDir, lookError).lexically_normal();
    if (!folder.has_filename()) folder = folder.parent_path();  // "ports/"
    const std::filesystem::path parent = folder.parent_path();
    if (!aliasDir.empty() && !std::filesystem::is_directory(parent, lookError)) {
        const std::string why = "--ports-dir " + aliasDir + ": " + parent.string() +
                                " is no folder; make it first, or leave --ports-dir out";
        std::fputs(BadOptionText("p06-sim", why).c_str(), stderr);
        return kExitBadOption;
    }
    if (aliasDir.empty()) {
        // HOME left at another user's after dropping rights: say which folder, and why.
        const FolderProblem problem = AliasFolderProblem();
        if (!problem.folder.empty()) {
            std::fprintf(stderr,
                         "p06-sim: cannot use the folder %s: %s; give a folder of yours with "
                         "--ports-dir\n",
                         problem.folder.c_str(),
                         problem.code != 0 ? std::strerror(problem.code) : "not a folder");
            return kExitFailure;
        }
        try {
            aliasDir = PortAliasDirectory();
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "p06-sim: %s\n", failure.what());
            return kExitFailure;
        }
    }

    PtyServer server;
    std::string error;
    if (!options.benchPath.empty()) {
        std::ifstream file(options.benchPath, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        BenchScript bench = BenchScript::Parse(text.str(), error);
        if (!file || !error.empty()) {
            const std::string why = file ? error : std::strerror(errno);
            std::fputs(
                BadOptionText("p06-sim", "--bench " + options.benchPath + ": " + why).c_str(),
                stderr);
            return kExitBadOption;
        }
        server.PlayBench(std::move(bench));
    }
    if (!server.Start(options.comNumber, aliasDir, error)) {
        std::fprintf(stderr, "p06-sim: %s\n", error.c_str());
        return kExitFailure;
    }
    // The one line on stdout: scripts and tests wait for it before they open the port.
    std::printf("p06-sim: serving %s as COM%d (alias %s)\n", server.DevicePath().c_str(),
                options.comNumber, server.AliasPath().c_str());
    std::fflush(stdout);

    if (!server.Serve(options, waitMask, stopRequested, error)) {
        std::fprintf(stderr, "p06-sim: %s\n", error.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

// Anything the code above did not expect ends in one line and status 1, never an abort.
int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "p06-sim: %s\n", failure.what());
    } catch (...) {
        std::fputs("p06-sim: unexpected failure\n", stderr);
    }
    return kExitFailure;
}
