// p06-read as a production line runs it: a separate process reading p06-sim over a real
// pseudo-terminal found through its COM alias, judged by its output and exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ExpectedReading.h"
#include "SimProcess.h"
#include "TempDir.h"

extern char** environ;

namespace {

constexpr int kCom = 8;
constexpr int kRunLimitSeconds = 60;

struct ReaderExit {
    int code = -1;  // the exit status; -1 when the program did not exit by itself
    std::string out;
    std::string err;
};

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs p06-read with its settings folder (and so its port aliases) in configHome.
ReaderExit RunReader(const std::vector<std::string>& args, const std::string& configHome) {
    TempDir streams;
    const std::string outPath = streams / "out";
    const std::string errPath = streams / "err";

    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("XDG_CONFIG_HOME=", 0) != 0) environment.push_back(*e);
    }
    environment.push_back("XDG_CONFIG_HOME=" + configHome);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = P06_READ_PATH;
    std::vector<std::string> argStrings = args;
    std::vector<char*> argv{program.data()};
    for (std::string& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    ReaderExit result;
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0) _exit(126);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (pid < 0) return result;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRunLimitSeconds);
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (ended == 0) {
        kill(pid, SIGTERM);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    } else if (ended == pid && WIFEXITED(status)) {
        result.code = WEXITSTATUS(status);
    }
    result.out = FileText(outPath);
    result.err = FileText(errPath);
    return result;
}

class P06ReadTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(PortsDir()); }

    std::string PortsDir() const { return configHome_ / "quenlor/ports"; }
    ReaderExit Read(const std::vector<std::string>& args) {
        return RunReader(args, configHome_.Path());
    }

    TempDir configHome_;
};

TEST_F(P06ReadTest, WholeReadingPrintsTheWindowsLinesInEitherLanguage) {
    const struct {
        std::vector<std::string> args;
        int32_t language;
    } cases[] = {
        {{"--port", std::to_string(kCom)}, kFrench},
        {{"--port", std::to_string(kCom), "--lang", "en", "--fast"}, kEnglish},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size());
        SimProcess sim(SimOptions(ReadUnit{}), kCom, PortsDir());
        ASSERT_TRUE(sim.Ready());
        const ReaderExit reader = Read(c.args);
        EXPECT_EQ(reader.code, 0) << reader.err;
        EXPECT_EQ(reader.out, AsOutput(SuccessfulReading(c.language)));
        EXPECT_EQ(reader.err, "");
    }
}

TEST_F(P06ReadTest, JsonFieldsAreTheUnits) {
    SimProcess sim(SimOptions({305419896, 17, "4.12"}), kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    const ReaderExit reader = Read({"--port", std::to_string(kCom), "--json", "--fast"});
    EXPECT_EQ(reader.code, 0) << reader.err;
    // The one figure that is the machine's, not the unit's.
    const std::string field = "\"elapsedMs\": ";
    std::string json = reader.out;
    const size_t at = json.find(field);
    ASSERT_NE(at, std::string::npos) << json;
    const size_t digits = at + field.size();
    const size_t end = json.find_first_not_of("0123456789", digits);
    ASSERT_GT(end, digits) << json;
    json.replace(digits, end - digits, "N");
    EXPECT_EQ(json,
              "{\"port\": 8, \"type\": \"P06\", \"serialNumber\": 305419896, "
              "\"circuitVersion\": 17, \"softwareVersion\": \"4.12\", \"status\": {\"connect\": 0, "
              "\"type\": 0, \"serialNumber\": 0, \"circuitVersion\": 0, \"softwareVersion\": 0, "
              "\"disconnect\": 0}, \"elapsedMs\": N, \"result\": \"read\"}\n");
}

TEST_F(P06ReadTest, ExitStatusTellsHowTheReadingEnded) {
    const struct {
        const char* name;
        std::vector<std::string> simOptions;  // empty: no simulator at all
        std::vector<std::string> args;
        int code;
        const char* out;  // the JSON result, or empty for no output
        std::string err;  // the start of standard error
    } cases[] = {
        {"read", {"--type", "P06"}, {"--json"}, 0, "\"result\": \"read\"", ""},
        {"usage",
         {},
         {"--wait", "soon"},
         1,
         "",
         "p06-read: invalid wait 'soon': give whole seconds from 0 to 86400\n"},
        {"wrong type",
         {"--type", "P07"},
         {"--json"},
         2,
         "\"result\": \"wrong-type\"",
         WrongTypeMessage(kFrench, "\n") + "\n"},
        {"silent unit",
         {"--silent"},
         {"--json", "--wait", "1"},
         3,
         "\"result\": \"no-answer\"",
         "p06-read: no answer from the unit on COM8 within 1 s\n"},
        {"missing port",
         {},
         {"--json"},
         4,
         "\"result\": \"port-error\"",
         "p06-read: COM8 could not be opened: No such file or directory (error 2)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<SimProcess> sim;
        if (!c.simOptions.empty()) {
            sim = std::make_unique<SimProcess>(c.simOptions, kCom, PortsDir());
            ASSERT_TRUE(sim->Ready());
        }
        std::vector<std::string> args = {"--port", std::to_string(kCom), "--fast"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ReaderExit reader = Read(args);
        EXPECT_EQ(reader.code, c.code);
        if (*c.out == '\0') {
            EXPECT_EQ(reader.out, "");
        } else {
            EXPECT_NE(reader.out.find(c.out), std::string::npos) << reader.out;
        }
        EXPECT_EQ(reader.err.rfind(c.err, 0), 0u) << reader.err;
    }
}

TEST_F(P06ReadTest, TraceShowsTheExchangeByteForByte) {
    SimProcess sim(SimOptions(ReadUnit{}), kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    const std::string tracePath = configHome_ / "wire.txt";
    const ReaderExit reader = Read({"--port", std::to_string(kCom), "--trace", tracePath});
    ASSERT_EQ(reader.code, 0) << reader.err;

    std::istringstream trace(FileText(tracePath));
    std::string exchange;
    long previousMs = -1;
    long pollMs = -1;
    for (std::string line; std::getline(trace, line);) {
        // "<time> ms  <direction> <byte>", the time right-aligned.
        const size_t unit = line.find(" ms  ");
        ASSERT_TRUE(unit != std::string::npos && line.size() > unit + 6) << line;
        const char direction = line[unit + 5];
        ASSERT_TRUE((direction == '<' || direction == '>') && line[unit + 6] == ' ') << line;
        const long ms = std::stol(line.substr(0, unit));
        EXPECT_GE(ms, previousMs) << line;
        previousMs = ms;
        if (pollMs < 0) pollMs = ms;
        exchange += line.substr(unit + 5) + ",";
    }
    // The first poll follows the one-second purge.
    EXPECT_GE(pollMs, 1000);
    const std::string expected = kReadingExchange;
    ASSERT_GE(exchange.size(), expected.size()) << exchange;
    EXPECT_EQ(exchange.substr(0, expected.size()), expected);
    // Then the unit's byte after the rate change, and the end of the conversation.
    EXPECT_EQ(exchange.find("> 04,< ", expected.size()), expected.size() + 5) << exchange;
}

TEST_F(P06ReadTest, ListShowsTheSimulatorsPortAndDiscoveryReadsIt) {
    // COM1: an alias wins over a kernel device of the same number, and sorts first.
    SimProcess sim({}, 1, PortsDir());
    ASSERT_TRUE(sim.Ready());
    const ReaderExit list = Read({"--list"});
    EXPECT_EQ(list.code, 0);
    const std::string simLabel = "COM1";
    const bool chosen = list.out.find("* " + simLabel + "\n") != std::string::npos;
    EXPECT_TRUE(chosen || list.out.find("  " + simLabel + "\n") != std::string::npos) << list.out;
    if (!chosen) {
        GTEST_SKIP() << "discovery prefers another port on this machine:\n" << list.out;
    }
    const ReaderExit reader = Read({"--json", "--fast"});
    EXPECT_EQ(reader.code, 0) << reader.err;
    EXPECT_EQ(reader.out.rfind("{\"port\": 1, \"type\": \"P06\"", 0), 0u) << reader.out;
}

}  // namespace
