// p06-read as a production line runs it: a separate process reading p06-sim over a real
// pseudo-terminal found through its COM alias, judged by its output and exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Version.h"
#include "tests/support/ExpectedReading.h"
#include "tests/support/ReaderLines.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

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

// Where a reader's standard output goes: a file of the test's, a path such as /dev/full,
// or nowhere (closed).
struct ReaderStreams {
    std::string out;
    std::string err;
    bool closeOut = false;
};

// Starts p06-read with its settings folder (and so its port aliases) in configHome.
pid_t StartReader(const std::vector<std::string>& args, const std::string& configHome,
                  const ReaderStreams& streams) {
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

    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(streams.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(streams.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0) _exit(126);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        if (streams.closeOut) close(STDOUT_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// Waits for the reader to end, stopping it by its id past the limit; returns the wait
// status, -1 when it had to be stopped.
int FinishReader(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRunLimitSeconds);
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (ended == pid) return status;
    kill(pid, SIGTERM);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return -1;
}

ReaderExit RunReader(const std::vector<std::string>& args, const std::string& configHome,
                     const std::string& outPath = {}, bool closeOut = false) {
    TempDir streams;
    const ReaderStreams paths{outPath.empty() ? streams / "out" : outPath, streams / "err",
                              closeOut};
    ReaderExit result;
    const pid_t pid = StartReader(args, configHome, paths);
    if (pid < 0) return result;
    const int status = FinishReader(pid);
    if (status != -1 && WIFEXITED(status)) result.code = WEXITSTATUS(status);
    if (outPath.empty()) result.out = FileText(paths.out);
    result.err = FileText(paths.err);
    return result;
}

// Whether Python's JSON parser takes the text: one document, or one per line.
bool ParsesAsJson(const std::string& text, bool lines = false) {
    TempDir dir;
    const std::string path = dir / "doc.json";
    std::ofstream(path) << text;
    const std::string command = std::string("python3 -m json.tool ") +
                                (lines ? "--json-lines " : "") + path + " >/dev/null";
    return std::system(command.c_str()) == 0;
}

// The time in the record is the machine's: "time": "<any>".
std::string WithoutTime(std::string json) {
    const std::string field = "\"time\": \"";
    const size_t at = json.find(field);
    if (at == std::string::npos) return json;
    const size_t end = json.find('"', at + field.size());
    return json.replace(at + field.size(), end - at - field.size(), "T");
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
        EXPECT_EQ(reader.out, AsOutput(ReaderReading(c.language)));
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
    EXPECT_TRUE(ParsesAsJson(reader.out)) << reader.out;
    std::string json = WithoutTime(reader.out);
    const size_t at = json.find(field);
    ASSERT_NE(at, std::string::npos) << json;
    const size_t digits = at + field.size();
    const size_t end = json.find_first_not_of("0123456789", digits);
    ASSERT_GT(end, digits) << json;
    json.replace(digits, end - digits, "N");
    EXPECT_EQ(
        json,
        "{\"time\": \"T\", \"port\": 8, \"device\": \"" + sim.DevicePath() +
            "\", \"type\": \"P06\", \"serialNumber\": 305419896, "
            "\"circuitVersion\": 17, \"softwareVersion\": \"4.12\", \"status\": {\"connect\": 0, "
            "\"type\": 0, \"serialNumber\": 0, \"circuitVersion\": 0, \"softwareVersion\": 0, "
            "\"disconnect\": 0}, \"elapsedMs\": N, \"result\": \"read\", \"error\": null, "
            "\"version\": \"" QUENLOR_VERSION "\"}\n");
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
        {"incomplete",
         {"--stop-after", "1"},
         {"--json", "--wait", "1"},
         5,
         "\"result\": \"incomplete\", \"error\": {\"code\": 100002",
         "p06-read: incomplete reading on COM8, failed: type: no answer (error 100002); "},
        {"refused",
         {"--refuse"},
         {"--json", "--wait", "1"},
         3,
         "\"result\": \"refused\"",
         "p06-read: the unit on COM8 refused the poll (0x85)"},
        {"bad option", {}, {"--colour"}, 1, "", "p06-read: unknown option '--colour'\n"},
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
            EXPECT_TRUE(ParsesAsJson(reader.out)) << reader.out;
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
    // A name beyond COM100 is no port, not the link's fallback to COM1 where the unit is.
    const ReaderExit beyond = Read({"--device", "COM101", "--fast"});
    EXPECT_EQ(beyond.code, 4);
    EXPECT_EQ(beyond.err, "p06-read: 'COM101' is not a serial port; see the ports with --list\n");
    std::ofstream(PortsDir() + "/COM3") << "not a device\n";  // neither listed nor opened
    const ReaderExit list = Read({"--list"});
    EXPECT_EQ(list.code, 0);
    EXPECT_EQ(list.out.find("COM3"), std::string::npos) << list.out;
    EXPECT_NE(list.err.find("p06-read: not a port: " + PortsDir() + "/COM3: "), std::string::npos)
        << list.err;
    const std::string simLabel = "COM1";
    // Then the device the port leads to.
    const std::string simLine = simLabel + "  " + sim.DevicePath() + "\n";
    const bool chosen = list.out.find("* " + simLine) != std::string::npos;
    EXPECT_TRUE(chosen || list.out.find("  " + simLine) != std::string::npos) << list.out;
    if (!chosen) {
        GTEST_SKIP() << "discovery prefers another port on this machine:\n" << list.out;
    }
    const ReaderExit reader = Read({"--json", "--fast"});
    EXPECT_EQ(reader.code, 0) << reader.err;
    EXPECT_NE(reader.out.find("\"port\": 1, \"device\": \"" + sim.DevicePath() + "\""),
              std::string::npos)
        << reader.out;
    const ReaderExit json = Read({"--list", "--json"});
    EXPECT_TRUE(ParsesAsJson(json.out)) << json.out;
    EXPECT_NE(json.out.find("{\"port\": 1, \"label\": \"" + simLabel + "\", \"device\": \"" +
                            sim.DevicePath() + "\", \"chosen\": true}"),
              std::string::npos)
        << json.out;
}

// Waits until the file holds text (or the limit passes); true when it does.
bool WaitForText(const std::string& path, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRunLimitSeconds);
    while (FileText(path).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

long Count(const std::string& text, const std::string& what) {
    long count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

TEST_F(P06ReadTest, OutputThatCannotBeWrittenFailsAndAClosedOutputIsNoPort) {
    SimProcess sim(SimOptions(ReadUnit{}), kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    const std::string port = std::to_string(kCom);
    const ReaderExit full = RunReader({"-p", port, "-f", "-j"}, configHome_.Path(), "/dev/full");
    EXPECT_EQ(full.code, 6);
    EXPECT_EQ(full.err,
              "p06-read: cannot write the standard output: No space left on device "
              "(error 28)\n");
    const ReaderExit trace = Read({"-p", port, "-f", "-t", "/dev/full"});
    EXPECT_EQ(trace.code, 6);
    EXPECT_EQ(trace.err,
              "p06-read: cannot write the trace to '/dev/full': No space left on "
              "device (error 28)\n");
    // Standard output closed: the port must not become descriptor 1 and take the lines.
    const ReaderExit closed =
        RunReader({"-p", port, "-f", "-t", configHome_ / "wire.txt"}, configHome_.Path(), {}, true);
    EXPECT_EQ(closed.code, 0) << closed.err;
    EXPECT_EQ(closed.err, "");
    EXPECT_EQ(Count(FileText(configHome_ / "wire.txt"), "> 80"), 1);
}

TEST_F(P06ReadTest, StopSignalEndsTheConversationAndEndsWithTheSignal) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        SimProcess sim(SimOptions(ReadUnit{}), kCom, PortsDir());
        ASSERT_TRUE(sim.Ready());
        TempDir dir;
        const std::string trace = dir / "wire.txt";
        const pid_t reader = StartReader({"--port", std::to_string(kCom), "--trace", trace},
                                         configHome_.Path(), {dir / "out", dir / "err"});
        ASSERT_GT(reader, 0);
        ASSERT_TRUE(WaitForText(trace, "< 81"));
        kill(reader, signal);
        const int status = FinishReader(reader);
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), signal);
        // The end byte went out and the unit acknowledged it.
        const std::string wire = FileText(trace);
        const size_t end = wire.rfind("> 04\n");
        ASSERT_NE(end, std::string::npos) << wire;
        EXPECT_NE(wire.find(" ms  < ", end), std::string::npos) << wire;
    }
}

TEST_F(P06ReadTest, RepeatRecordsThreeUnitsStartedAndStoppedOneAfterAnother) {
    TempDir dir;
    const std::string log = dir / "units.jsonl";
    const pid_t reader =
        StartReader({"--port", std::to_string(kCom), "--repeat", "--fast", "--log", log},
                    configHome_.Path(), {dir / "out", dir / "err"});
    ASSERT_GT(reader, 0);
    const uint32_t serials[] = {1001, 1002, 1003};
    for (const uint32_t serial : serials) {
        SCOPED_TRACE(serial);
        ReadUnit unit;
        unit.serialNumber = serial;
        SimProcess sim(SimOptions(unit), kCom, PortsDir());
        ASSERT_TRUE(sim.Ready());
        EXPECT_TRUE(WaitForText(log, "\"serialNumber\": " + std::to_string(serial) + ","));
        // Still served a while: polled again and again, recorded once.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        sim.Stop();
    }
    kill(reader, SIGINT);
    const int status = FinishReader(reader);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    const std::string records = FileText(log);
    EXPECT_EQ(FileText(dir / "out"), records);
    EXPECT_EQ(Count(records, "\n"), 3) << records;
    EXPECT_EQ(Count(records, "\"result\": \"read\""), 3) << records;
    EXPECT_TRUE(ParsesAsJson(records, true)) << records;
    for (const uint32_t serial : serials)
        EXPECT_EQ(Count(records, "\"serialNumber\": " + std::to_string(serial) + ","), 1)
            << records;
    const std::string err = FileText(dir / "err");
    EXPECT_NE(err.find("p06-read: 3 units read, 0 incomplete, 0 wrong type\n"), std::string::npos)
        << err;
}

}  // namespace
