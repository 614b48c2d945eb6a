// p06-read as a production line runs it: a separate process reading p06-sim over a real
// pseudo-terminal found through its COM alias, judged by its output and exit status.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Version.h"
#include "link/Com_p06.h"
#include "tests/support/ExpectedReading.h"
#include "tests/support/LineFaultCases.h"
#include "tests/support/PosixChildProcess.h"
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
// a pipe's end (outFd), or nowhere (closed); and the file size limit it runs under.
struct ReaderStreams {
    std::string out;
    std::string err;
    bool closeOut = false;
    int outFd = -1;
    rlim_t fileSizeLimit = RLIM_INFINITY;
    bool asNobody = false;  // a user of no group but its own
    std::string program = P06_READ_PATH;
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
    std::string program = streams.program;
    std::vector<std::string> argStrings = args;
    std::vector<char*> argv{program.data()};
    for (std::string& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        const int out = streams.outFd >= 0
                            ? streams.outFd
                            : open(streams.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(streams.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0) _exit(126);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        if (streams.closeOut) close(STDOUT_FILENO);
        const rlimit limit{streams.fileSizeLimit, streams.fileSizeLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
        if (streams.asNobody && !DropToNobody()) _exit(126);
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
    WaitWithin(pid, kChildLimitMs);
    return -1;
}

ReaderExit RunReader(const std::vector<std::string>& args, const std::string& configHome,
                     const std::string& outPath = {}, bool closeOut = false,
                     bool asNobody = false) {
    TempDir streams;
    ReaderStreams paths{outPath.empty() ? streams / "out" : outPath, streams / "err", closeOut};
    paths.asNobody = asNobody;
    if (asNobody) paths.program = CopyForNobody(P06_READ_PATH, streams / "p06-read");
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
    // Through standard input: Python 3.13's --json-lines fails on a file argument.
    const std::string command = std::string("python3 -m json.tool ") +
                                (lines ? "--json-lines" : "") + " <" + path + " >/dev/null";
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
        const char* lang = "en";
        const char* alias = nullptr;  // where COM8 leads, for a port without its unit
        bool asNobody = false;        // run by a user outside the port's group
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
         "p06-read: l'appareil sur COM8 est de type \"P07\", pas \"P06\" (" + CP06::DeviceName() +
             ") : branchez un appareil \"P06\"\n",
         "fr"},
        {"silent unit",
         {"--silent"},
         {"--json", "--wait", "1"},
         3,
         "\"result\": \"no-answer\"",
         "p06-read: no answer from the unit on COM8 (/dev/pts/"},
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
        {"missing port", {}, {"--json"}, 4, "\"result\": \"port-error\"", "p06-read: COM8 "},
        {"silent unit, in French",
         {"--silent"},
         {"--wait", "1"},
         3,
         "",
         "p06-read: pas de réponse de l'appareil sur COM8 (/dev/pts/",
         "fr"},
        // The alias names its adapter, absent: never the kernel's ttyS7.
        {"alias to an unplugged adapter",
         {},
         {},
         4,
         "",
         "p06-read: COM8 → /dev/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0 (absent) could "
         "not be opened: no such device; plug the adapter in, or see the ports with --list: No "
         "such file or directory (error 2)\n",
         "en",
         "/dev/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0"},
        // A pseudo-terminal of root's, not open to others: the hint names its group.
        {"no access",
         {"--type", "P06"},
         {},
         4,
         "",
         "p06-read: no access to COM8 → /dev/pts/",
         "en",
         nullptr,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<SimProcess> sim;
        if (!c.simOptions.empty()) {
            sim = std::make_unique<SimProcess>(c.simOptions, kCom, PortsDir());
            ASSERT_TRUE(sim->Ready());
        }
        const std::string alias = PortsDir() + "/COM8";
        if (c.alias != nullptr) std::filesystem::create_symlink(c.alias, alias);
        if (c.asNobody) {
            // Straight to the pseudo-terminal: nobody may not follow the simulator's /proc link.
            std::filesystem::remove(alias);
            std::filesystem::create_symlink(sim->DevicePath(), alias);
        }
        std::vector<std::string> args = {"--port", std::to_string(kCom), "--fast", "--lang",
                                         c.lang};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ReaderExit reader = RunReader(args, configHome_.Path(), {}, false, c.asNobody);
        if (c.alias != nullptr || c.asNobody) std::filesystem::remove(alias);
        if (c.asNobody) {
            // The group the pseudo-terminal belongs to here (tty, or root in some containers)
            // may only write it: joining it would not help, so root alone is named.
            struct stat status{};
            ASSERT_EQ(stat(sim->DevicePath().c_str(), &status), 0);
            const group* owner = getgrgid(status.st_gid);
            ASSERT_NE(owner, nullptr);
            const bool groupMayUse = (status.st_mode & 060) == 060 && status.st_gid != 0;
            EXPECT_NE(reader.err.find(groupMayUse ? std::string("add your user to the ") +
                                                        owner->gr_name + " group"
                                                  : "only root may open " + sim->DevicePath()),
                      std::string::npos)
                << reader.err;
        }
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

// English words no French message holds: a French run must say nothing in English.
std::string EnglishIn(const std::string& text) {
    for (const char* word : {" the ", " no ", " not ", " is ", " of ", " to ", " and ", "Try ",
                             " could ", " cannot ", " which ", " answer"})
        if (text.find(word) != std::string::npos) return word;
    return "";
}

// Each mistake or situation a technician or a line script can meet without hardware, as
// root and as a user of no group: the status, then the cause and the remedy, in French and
// in English.
TEST_F(P06ReadTest, EverySituationSaysItsCauseAndRemedyInTheUsersLanguage) {
    enum class Setup { None, AliasToFile, PtyByPath, PtyHeld, FolderOutOfReach };
    enum Users { kRoot = 1, kNobody = 2, kBoth = 3 };
    const struct {
        const char* name;
        std::vector<std::string> simOptions;  // empty: no simulator
        std::vector<std::string> args;        // "PTY" stands for the simulator's device
        int code;
        const char* said[2][2];  // French then English: the cause, then the remedy
        Setup setup = Setup::None;
        int users = kBoth;
    } cases[] = {
        {"bad value",
         {},
         {"--wait", "soon"},
         1,
         {{"attente 'soon' invalide", "Essayez 'p06-read --help'"},
          {"invalid wait 'soon'", "Try 'p06-read --help'"}}},
        {"ambiguous option",
         {},
         {"--l"},
         1,
         {{"'--l' est ambiguë", "--list, --lang, --log"}, {"'--l' is ambiguous", "--list"}}},
        {"no such device",
         {},
         {"--device", "/dev/nonexistent"},
         4,
         {{"aucun périphérique de ce nom", "branchez l'adaptateur"},
          {"no such device", "plug the adapter in"}}},
        {"no serial line",
         {},
         {"--device", "/dev/null"},
         4,
         {{"n'est pas une ligne série", "choisissez le port de l'adaptateur"},
          {"is not a serial line", "choose the adapter's port"}}},
        {"alias to a file",
         {},
         {"--port", "8"},
         4,
         {{"mène à /etc/passwd, qui est un fichier", "supprimez ou corrigez l'alias"},
          {"leads to /etc/passwd, which is a file", "remove or fix the alias"}},
         Setup::AliasToFile},
        {"alias to a file, production line",
         {},
         {"--port", "8", "--repeat"},
         4,
         {{"qui est un fichier", "supprimez ou corrigez l'alias"},
          {"which is a file", "remove or fix the alias"}},
         Setup::AliasToFile},
        {"unit off",
         {"--silent"},
         {"--device", "PTY", "--wait", "0"},
         3,
         {{"pas de réponse de l'appareil sur", "l'appareil est-il allumé"},
          {"no answer from the unit on", "is the unit switched on"}},
         Setup::PtyByPath},
        {"another type",
         {"--type", "P07"},
         {"--device", "PTY"},
         2,
         {{"est de type \"P07\"", "branchez un appareil \"P06\""},
          {"is of type \"P07\"", "plug in a \"P06\" unit"}},
         Setup::PtyByPath},
        {"spoiled answer",
         {"--fault", "serial:bad-digit"},
         {"--device", "PTY"},
         5,
         {{"n'est pas un chiffre", "vérifiez le câble"}, {"is not a digit", "check the cable"}},
         Setup::PtyByPath},
        {"held by a program without a lock",
         {},
         {"--device", "PTY"},
         4,
         {{"est ouvert aussi par integration_tes", "fermez-le"},
          {"is open in another program too, integration_tes", "close it"}},
         Setup::PtyHeld,
         kRoot},
        {"alias folder out of reach",
         {},
         {"--list"},
         0,
         {{"sans alias de port : le dossier", "gardent leur numéro du noyau"},
          {"no port aliases: the folder", "keep their kernel numbers"}},
         Setup::FolderOutOfReach,
         kNobody},
    };
    TempDir closed;  // a settings folder of root's alone
    std::filesystem::permissions(closed.Path(), std::filesystem::perms::owner_all);
    for (const auto& c : cases) {
        const std::string alias = PortsDir() + "/COM8";
        if (c.setup == Setup::AliasToFile) std::filesystem::create_symlink("/etc/passwd", alias);
        for (const int user : {kRoot, kNobody}) {
            if ((c.users & user) == 0) continue;
            for (const int english : {0, 1}) {
                // A unit of its own for each run: a line fault spoils only a first answer.
                std::unique_ptr<SimProcess> sim;
                if (!c.simOptions.empty() || c.setup == Setup::PtyHeld) {
                    sim = std::make_unique<SimProcess>(c.simOptions, kCom, PortsDir());
                    ASSERT_TRUE(sim->Ready());
                    // Any user may open it, as a device given to the user at the PC.
                    chmod(sim->DevicePath().c_str(), 0666);
                }
                const int holder = c.setup == Setup::PtyHeld
                                       ? open(sim->DevicePath().c_str(), O_RDWR | O_NOCTTY)
                                       : -1;
                SCOPED_TRACE(std::string(c.name) + (user == kNobody ? ", nobody" : ", root") +
                             (english ? ", en" : ", fr"));
                std::vector<std::string> args = {"--fast", "--lang", english ? "en" : "fr"};
                for (const std::string& a : c.args)
                    args.push_back(a == "PTY" ? sim->DevicePath() : a);
                const ReaderExit reader = RunReader(
                    args, c.setup == Setup::FolderOutOfReach ? closed.Path() : configHome_.Path(),
                    {}, false, user == kNobody);
                EXPECT_EQ(reader.code, c.code) << reader.err;
                const size_t cause = reader.err.find(c.said[english][0]);
                EXPECT_NE(cause, std::string::npos) << reader.err;
                EXPECT_NE(reader.err.find(c.said[english][1]), std::string::npos) << reader.err;
                if (!english) {
                    EXPECT_EQ(EnglishIn(reader.err), "") << reader.err;
                }
                if (holder >= 0) close(holder);
            }
        }
        std::filesystem::remove(alias);
    }
}

// A line fault on one step of a real pseudo-terminal: the record holds only the unit's own
// values (or null), says which step failed and why, and the next reading is good.
TEST_F(P06ReadTest, LineFaultNeverGivesAWrongRecordAndTheNextReadingIsGood) {
    const ReadUnit unit = {2882343476u, 171, "205.239"};
    const std::vector<std::string> fields = {"\"type\": \"P06\"", "\"serialNumber\": 2882343476",
                                             "\"circuitVersion\": 171",
                                             "\"softwareVersion\": \"205.239\""};
    const int codes[] = {0, 5, 3};  // read, incomplete, no answer
    const std::vector<std::string> args = {
        "--port", std::to_string(kCom), "--json", "--fast", "--wait", "3", "--lang", "en"};
    for (const LineFaultCase& c : kLineFaultCases) {
        if (!c.pty) continue;
        SCOPED_TRACE(CaseName(c));
        std::vector<std::string> options = SimOptions(unit);
        const std::vector<std::string> faultOptions = SimFaultOptions(c);
        options.insert(options.end(), faultOptions.begin(), faultOptions.end());
        SimProcess sim(options, kCom, PortsDir());
        ASSERT_TRUE(sim.Ready());
        const ReaderExit reader = Read(args);
        EXPECT_EQ(reader.code, codes[static_cast<int>(c.reader)]) << reader.err;
        for (const std::string& field : fields) {
            const std::string name = field.substr(0, field.find(':') + 1);
            EXPECT_TRUE(reader.out.find(field) != std::string::npos ||
                        reader.out.find(name + " null") != std::string::npos)
                << reader.out;
        }
        if (c.kind == LineFault::Unplug) {
            // The port went away: said once, not for each step that failed after it.
            EXPECT_EQ(reader.err,
                      "p06-read: the port COM8 went away during the reading (adapter "
                      "unplugged?): Input/output error (error 5)\n");
        } else if (c.reader == FaultEnd::Incomplete) {
            EXPECT_EQ(reader.err, "p06-read: incomplete reading on COM8, failed: " +
                                      FailedStepsText(c, EIO) + SpoiledRemedyText(c) + "\n");
        } else if (c.reader == FaultEnd::NoAnswer) {
            EXPECT_NE(reader.err.find("sends back what it receives: is it the transmitter's "
                                      "adapter?"),
                      std::string::npos)
                << reader.err;
            continue;  // a loopback stays one
        }
        // An unplugged port comes back after a second.
        const auto back = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!std::filesystem::exists(PortsDir() + "/COM8") &&
               std::chrono::steady_clock::now() < back) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        const ReaderExit next = Read(args);
        EXPECT_EQ(next.code, 0) << next.err;
        EXPECT_NE(next.out.find(fields[1]), std::string::npos) << next.out;
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

TEST_F(P06ReadTest, ListShowsEveryPortAndOnlyTheAdaptersIsReadUnasked) {
    // COM1: an alias wins over a kernel device of the same number, and sorts first.
    SimProcess sim({}, 1, PortsDir());
    ASSERT_TRUE(sim.Ready());
    // A name beyond COM100 is no port, not the link's fallback to COM1 where the unit is.
    const ReaderExit beyond = Read({"--device", "COM101", "--fast"});
    EXPECT_EQ(beyond.code, 4);
    EXPECT_EQ(beyond.err,
              "p06-read: 'COM101' n'est pas un port série ; voyez les ports avec --list\n");
    const ReaderExit missing = Read({"--device", PortsDir() + "/ttyUSB9", "--lang", "en"});
    EXPECT_EQ(missing.code, 4);
    EXPECT_EQ(missing.err, "p06-read: " + PortsDir() +
                               "/ttyUSB9: no such device; plug the adapter in, or see the ports "
                               "with --list\n");
    std::ofstream(PortsDir() + "/COM3") << "not a device\n";  // neither listed nor opened
    const ReaderExit list = Read({"--list"});
    EXPECT_EQ(list.code, 0);
    EXPECT_EQ(list.out.find("COM3"), std::string::npos) << list.out;
    EXPECT_NE(list.err.find("p06-read: pas un port : " + PortsDir() +
                            "/COM3: ne mène à aucun périphérique en mode caractère\n"),
              std::string::npos)
        << list.err;
    const std::string simLabel = "COM1";
    // Then the device the port leads to. A pseudo-terminal carries no adapter mark: it is
    // listed, never chosen, and a reading without --port polls no port but the adapter's.
    const std::string simLine = simLabel + "  " + sim.DevicePath() + "\n";
    EXPECT_NE(list.out.find("  " + simLine), std::string::npos) << list.out;
    if (list.out.find("* ") != std::string::npos)
        GTEST_SKIP() << "an adapter is plugged into this machine:\n" << list.out;
    const ReaderExit reader = Read({"--json", "--fast", "--lang", "en"});
    EXPECT_EQ(reader.code, 4) << reader.err;
    EXPECT_NE(reader.out.find("\"result\": \"port-error\""), std::string::npos) << reader.out;
    EXPECT_EQ(reader.err,
              "p06-read: no USB-serial adapter of the transmitter found; plug it in, or choose a "
              "port with --port (see --list)\n");
    const ReaderExit json = Read({"--list", "--json"});
    EXPECT_TRUE(ParsesAsJson(json.out)) << json.out;
    EXPECT_NE(json.out.find("{\"port\": 1, \"label\": \"" + simLabel + "\", \"device\": \"" +
                            sim.DevicePath() + "\", \"adapter\": false, \"chosen\": false}"),
              std::string::npos)
        << json.out;
    const ReaderExit csv = Read({"--list", "--csv"});
    EXPECT_EQ(csv.out.rfind("com,device,adapter\r\n", 0), 0u) << csv.out;
    EXPECT_NE(csv.out.find("\n1," + sim.DevicePath() + ",no\r\n"), std::string::npos) << csv.out;
}

// Waits until the file holds text (or the limit passes); true when it does.
bool WaitForText(const std::string& path, const std::string& text, int seconds = kRunLimitSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
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
    const ReaderExit full =
        RunReader({"-p", port, "-f", "-j", "--lang", "en"}, configHome_.Path(), "/dev/full");
    EXPECT_EQ(full.code, 6);
    EXPECT_EQ(full.err,
              "p06-read: cannot write the standard output: No space left on device "
              "(error 28)\n");
    const ReaderExit trace = Read({"-p", port, "-f", "-t", "/dev/full"});
    EXPECT_EQ(trace.code, 6);
    EXPECT_EQ(trace.err,
              "p06-read: impossible d'écrire la trace dans '/dev/full' : Aucun espace disponible "
              "sur le périphérique (erreur 28)\n");
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

TEST_F(P06ReadTest, SecondCtrlCEndsAtOnceWithThePortPutBack) {
    // A silent unit: the end of the conversation would wait out its time-outs.
    SimProcess sim({"--silent"}, kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    // The settings are looked at with the port closed: the reader refuses a port that another
    // program has open. The simulator keeps its side open, so they stay between two opens.
    int tty = open(sim.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(tty, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(tty, &before), 0);
    close(tty);
    TempDir dir;
    const std::string trace = dir / "wire.txt";
    const pid_t reader = StartReader({"--port", std::to_string(kCom), "--trace", trace},
                                     configHome_.Path(), {dir / "out", dir / "err"});
    ASSERT_GT(reader, 0);
    ASSERT_TRUE(WaitForText(trace, "> 80"));
    kill(reader, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto second = std::chrono::steady_clock::now();
    kill(reader, SIGINT);
    const int status = FinishReader(reader);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - second).count();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_LT(seconds, 0.3);
    tty = open(sim.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(tty, 0);
    termios after{};
    ASSERT_EQ(tcgetattr(tty, &after), 0);
    close(tty);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(cfgetispeed(&after), cfgetispeed(&before));
}

// What a --repeat reader shows of a unit: its serial number in a JSON record.
std::string SerialField(uint32_t serial) {
    return "\"serialNumber\": " + std::to_string(serial) + ",";
}

std::vector<std::string> SimOfSerial(uint32_t serial) {
    ReadUnit unit;
    unit.serialNumber = serial;
    return SimOptions(unit);
}

// Serves one unit on kCom until the file at path holds text, and some seconds longer (the
// reader polls it again and again, and must not record it twice), then takes it away.
// False when the text never came.
bool ServeUnitUntil(const std::vector<std::string>& simOptions, const std::string& portsDir,
                    const std::string& path, const std::string& text, int longer = 2) {
    SimProcess sim(simOptions, kCom, portsDir);
    if (!sim.Ready()) return false;
    const bool seen = WaitForText(path, text);
    std::this_thread::sleep_for(std::chrono::seconds(longer));
    sim.Stop();
    return seen;
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Whether each line is a JSON record with the unit's serial number, in that order.
void ExpectRecordsOf(const std::string& text, const std::vector<uint32_t>& serials) {
    const std::vector<std::string> lines = LinesOf(text);
    ASSERT_EQ(lines.size(), serials.size()) << text;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NE(lines[i].find(SerialField(serials[i])), std::string::npos) << lines[i];
        EXPECT_TRUE(ParsesAsJson(lines[i])) << lines[i];
    }
}

// A p06-read --repeat --fast on kCom with its log, its streams in a folder of its own.
class RepeatReader {
public:
    RepeatReader(const std::string& configHome, ReaderStreams streams = {},
                 const std::vector<std::string>& extra = {}) {
        if (streams.out.empty() && streams.outFd < 0) streams.out = dir_ / "out";
        streams.err = dir_ / "err";
        std::vector<std::string> args = {
            "--port", std::to_string(kCom), "--repeat", "--fast", "--log", Log(), "--lang", "en"};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = StartReader(args, configHome, streams);
    }
    ~RepeatReader() {
        if (pid_ > 0) Stop(SIGTERM);
    }

    std::string Log() const { return dir_ / "units.jsonl"; }
    std::string Out() const { return FileText(dir_ / "out"); }
    std::string ErrPath() const { return dir_ / "err"; }
    std::string Err() const { return FileText(ErrPath()); }
    std::string Dir() const { return dir_.Path(); }
    bool Started() const { return pid_ > 0; }

    // Ends the reader with the signal (0: waits for it to end by itself); its wait status.
    int Stop(int signal) {
        if (signal != 0) kill(pid_, signal);
        const int status = FinishReader(pid_);
        pid_ = -1;
        return status;
    }

private:
    TempDir dir_;
    pid_t pid_ = -1;
};

TEST_F(P06ReadTest, RepeatRecordsEachUnitOnceAReworkedUnitAgainAndARefusingUnitOnce) {
    RepeatReader reader(configHome_.Path());
    ASSERT_TRUE(reader.Started());
    ReadUnit newCircuit;
    newCircuit.serialNumber = 1002;
    newCircuit.circuitVersion = 4;
    ReadUnit reworked = newCircuit;
    reworked.softwareVersion = "2.6";
    const struct {
        const char* name;
        std::vector<std::string> sim;
        bool inLog;        // else what the reader says on standard error
        std::string seen;  // what shows that the reader is done with the unit
        int longer;        // seconds served after that
        int gap;           // seconds without a unit after it
    } units[] = {
        {"first", SimOfSerial(1001), true, SerialField(1001), 2, 3},
        {"second", SimOfSerial(1002), true, SerialField(1002), 2, 0},
        // Back after it went: recorded again, as such.
        {"second again", SimOfSerial(1002), true, "\"result\": \"read-again\"", 2, 0},
        // Then its circuit alone changes, then its software alone.
        {"second, new circuit", SimOptions(newCircuit), true, "\"circuitVersion\": 4,", 2, 0},
        {"second reworked", SimOptions(reworked), true, "\"softwareVersion\": \"2.6\"", 2, 0},
        // Polled again and again while it refuses: one record all the same.
        {"refusing", {"--refuse"}, true, "\"result\": \"refused\"", 6, 0},
        {"third", SimOfSerial(1003), true, SerialField(1003), 2, 0},
    };
    for (const auto& unit : units) {
        SCOPED_TRACE(unit.name);
        EXPECT_TRUE(ServeUnitUntil(unit.sim, PortsDir(),
                                   unit.inLog ? reader.Log() : reader.ErrPath(), unit.seen,
                                   unit.longer));
        std::this_thread::sleep_for(std::chrono::seconds(unit.gap));
    }
    const int status = reader.Stop(SIGINT);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    const std::string records = FileText(reader.Log());
    EXPECT_EQ(reader.Out(), records);
    EXPECT_TRUE(ParsesAsJson(records, true)) << records;
    const std::vector<std::string> lines = LinesOf(records);
    ASSERT_EQ(lines.size(), 7u) << records;
    const char* expected[] = {
        "\"serialNumber\": 1001, \"circuitVersion\": 3, "
        "\"softwareVersion\": \"2.5\"",
        "\"serialNumber\": 1002, \"circuitVersion\": 3, "
        "\"softwareVersion\": \"2.5\"",
        "\"serialNumber\": 1002,",
        "\"serialNumber\": 1002, \"circuitVersion\": 4, "
        "\"softwareVersion\": \"2.5\"",
        "\"serialNumber\": 1002, \"circuitVersion\": 4, "
        "\"softwareVersion\": \"2.6\"",
        "\"result\": \"refused\"",
        "\"serialNumber\": 1003,"};
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_NE(lines[i].find(expected[i]), std::string::npos) << lines[i];
    EXPECT_NE(lines[2].find("\"result\": \"read-again\""), std::string::npos) << lines[2];
    EXPECT_NE(lines[5].find("\"device\": \"/dev/pts/"), std::string::npos) << lines[5];
    const std::string err = reader.Err();
    // Said once in each absence at most.
    EXPECT_GE(Count(err, "p06-read: waiting for COM8"), 1) << err;
    EXPECT_LE(Count(err, "p06-read: waiting for COM8"), 7) << err;
    EXPECT_NE(err.find("p06-read: units presented: 7; read: 5, read again: 1, incomplete: 0, "
                       "wrong type: 0, refused: 1, stopped: 0; distinct units: 5\n"),
              std::string::npos)
        << err;
}

TEST_F(P06ReadTest, RepeatReadsEveryUnitSwappedInAfterAUnitOfAnotherType) {
    // A unit of another type, then three units swapped in with no gap, each 8 s on one port
    // that stays: no silence tells them apart, only what each unit says it is.
    RepeatReader reader(configHome_.Path());
    ASSERT_TRUE(reader.Started());
    TempDir dir;
    const std::string bench = dir / "bench";
    std::ofstream(bench) << "0 4000 7 P07\n4000 12000 1001\n12000 20000 1002\n20000 28000 1003\n";
    SimProcess sim({"--bench", bench}, kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    EXPECT_TRUE(WaitForText(reader.Log(), SerialField(1003), 60));
    reader.Stop(SIGINT);
    const std::vector<std::string> lines = LinesOf(FileText(reader.Log()));
    ASSERT_EQ(lines.size(), 4u) << FileText(reader.Log());
    EXPECT_NE(lines[0].find("\"type\": \"P07\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("\"result\": \"wrong-type\""), std::string::npos) << lines[0];
    for (uint32_t i = 1; i <= 3; ++i) {
        EXPECT_NE(lines[i].find(SerialField(1000 + i)), std::string::npos) << lines[i];
        EXPECT_NE(lines[i].find("\"result\": \"read\""), std::string::npos) << lines[i];
    }
}

TEST_F(P06ReadTest, RepeatLogGetsEveryUnitWhenStandardOutputFails) {
    // A full device: the first unit is in the log, then the reader ends.
    {
        ReaderStreams streams;
        streams.out = "/dev/full";
        RepeatReader reader(configHome_.Path(), streams);
        ASSERT_TRUE(reader.Started());
        EXPECT_TRUE(ServeUnitUntil(SimOfSerial(1001), PortsDir(), reader.Log(), SerialField(1001)));
        const int status = reader.Stop(0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 6) << status;
        ExpectRecordsOf(FileText(reader.Log()), {1001});
        EXPECT_NE(reader.Err().find("p06-read: cannot write the standard output: No space left "
                                    "on device (error 28)\n"),
                  std::string::npos)
            << reader.Err();
    }
    // A pipe whose reader takes one line and goes, as `| head -n 1` does.
    {
        int pipeEnds[2];
        ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
        ReaderStreams streams;
        streams.outFd = pipeEnds[1];
        RepeatReader reader(configHome_.Path(), streams);
        close(pipeEnds[1]);
        ASSERT_TRUE(reader.Started());
        EXPECT_TRUE(ServeUnitUntil(SimOfSerial(1001), PortsDir(), reader.Log(), SerialField(1001)));
        std::string first;
        EXPECT_TRUE(ReadWithin(pipeEnds[0], first, kChildLimitMs, true))
            << "no whole line on the pipe within " << kChildLimitMs << " ms: " << first;
        close(pipeEnds[0]);
        EXPECT_NE(first.find(SerialField(1001)), std::string::npos) << first;
        EXPECT_TRUE(ServeUnitUntil(SimOfSerial(1002), PortsDir(), reader.Log(), SerialField(1002)));
        const int status = reader.Stop(0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 6) << status;
        ExpectRecordsOf(FileText(reader.Log()), {1001, 1002});
        EXPECT_NE(reader.Err().find("p06-read: cannot write the standard output: Broken pipe "
                                    "(error 32)\n"),
                  std::string::npos)
            << reader.Err();
    }
    // One reading: the record is in the log all the same.
    SimProcess sim(SimOfSerial(1003), kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    const std::string log = configHome_ / "single.jsonl";
    const ReaderExit single = RunReader({"-p", std::to_string(kCom), "-f", "-j", "--log", log},
                                        configHome_.Path(), "/dev/full");
    EXPECT_EQ(single.code, 6);
    ExpectRecordsOf(FileText(log), {1003});
}

TEST_F(P06ReadTest, RepeatRecordsEveryUnitOfALineThatNothingElseStalls) {
    // Twenty units, swapped in half a second, while nobody reads standard output (a pipe
    // of one page: about ten records) and another program holds the log long enough for
    // three units to be read meanwhile.
    constexpr int kUnits = 20;
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    ASSERT_GT(fcntl(pipeEnds[1], F_SETPIPE_SZ, 4096), 0);
    ReaderStreams streams;
    streams.outFd = pipeEnds[1];
    RepeatReader reader(configHome_.Path(), streams);
    close(pipeEnds[1]);
    ASSERT_TRUE(reader.Started());
    SimProcess sim({"--serial", "2001", "--units", std::to_string(kUnits), "--present", "2500",
                    "--absent", "500"},
                   kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    ASSERT_TRUE(WaitForText(reader.Log(), SerialField(2003)));
    {
        const int hold = open(reader.Log().c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(flock(hold, LOCK_EX), 0);
        const std::string before = FileText(reader.Log());
        std::this_thread::sleep_for(std::chrono::seconds(25));
        EXPECT_EQ(FileText(reader.Log()), before);
        close(hold);
        // The units read meanwhile are in the log once the reader says it is free again (at
        // its next look at the log, within a check).
        ASSERT_TRUE(WaitForText(reader.ErrPath(), "' is free again; the records kept are in it\n"));
        EXPECT_GE(LinesOf(FileText(reader.Log())).size(), LinesOf(before).size() + 3);
    }
    EXPECT_TRUE(WaitForText(reader.ErrPath(), "', locked by another program;"));
    EXPECT_TRUE(WaitForText(reader.Log(), SerialField(2000 + kUnits), 120));
    const int status = reader.Stop(SIGINT);
    close(pipeEnds[0]);
    std::vector<uint32_t> serials;
    for (int unit = 1; unit <= kUnits; ++unit) serials.push_back(2000 + unit);
    ExpectRecordsOf(FileText(reader.Log()), serials);
    const std::string err = reader.Err();
    EXPECT_NE(err.find("p06-read: units presented: 20; read: 20,"), std::string::npos) << err;
    // What the pipe could not take is said, and the stop is not taken for a success.
    EXPECT_NE(err.find("not written to the standard output, which is not being read"),
              std::string::npos)
        << err;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 6) << status;
}

TEST_F(P06ReadTest, RepeatLogMovedAndThenDeletedGetsTheNextUnitsInANewFile) {
    RepeatReader reader(configHome_.Path());
    ASSERT_TRUE(reader.Started());
    const std::string moved = reader.Dir() + "/units.jsonl.1";
    EXPECT_TRUE(ServeUnitUntil(SimOfSerial(1001), PortsDir(), reader.Log(), SerialField(1001)));
    // As logrotate does without copytruncate.
    ASSERT_EQ(std::rename(reader.Log().c_str(), moved.c_str()), 0);
    EXPECT_TRUE(ServeUnitUntil(SimOfSerial(1002), PortsDir(), reader.Log(), SerialField(1002)));
    ASSERT_EQ(std::remove(reader.Log().c_str()), 0);
    EXPECT_TRUE(ServeUnitUntil(SimOfSerial(1003), PortsDir(), reader.Log(), SerialField(1003)));
    reader.Stop(SIGINT);
    ExpectRecordsOf(FileText(moved), {1001});
    ExpectRecordsOf(FileText(reader.Log()), {1003});
    ExpectRecordsOf(reader.Out(), {1001, 1002, 1003});
}

TEST_F(P06ReadTest, RepeatLogOnAFullDiskHoldsOnlyWholeRecords) {
    // A log cut short by an earlier failure; then a file size limit that takes the next
    // record but not the one after: its write fails half-way.
    const std::string damaged = "{\"time\": \"2026-";
    ReaderStreams streams;
    streams.out = "/dev/null";
    streams.fileSizeLimit = 600;
    std::string log;
    {
        RepeatReader reader(configHome_.Path(), streams);
        ASSERT_TRUE(reader.Started());
        log = reader.Log();
        std::ofstream(log) << damaged;
        EXPECT_TRUE(ServeUnitUntil(SimOfSerial(1001), PortsDir(), log, SerialField(1001)));
        SimProcess sim(SimOfSerial(1002), kCom, PortsDir());
        ASSERT_TRUE(sim.Ready());
        EXPECT_TRUE(WaitForText(reader.ErrPath(), "cannot write the log"));
        const int status = reader.Stop(0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 6) << status;
        EXPECT_NE(reader.Err().find("p06-read: cannot write the log to '" + log +
                                    "': File too large (error 27)\n"),
                  std::string::npos)
            << reader.Err();
        const std::string text = FileText(log);
        ASSERT_EQ(text.rfind(damaged + "\n", 0), 0u) << text;
        ExpectRecordsOf(text.substr(damaged.size() + 1), {1001});
        std::filesystem::copy_file(log, configHome_ / "kept.jsonl");
    }
    // A later run appends to what is left.
    log = configHome_ / "kept.jsonl";
    SimProcess sim(SimOfSerial(1003), kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    const ReaderExit later = Read({"-p", std::to_string(kCom), "-f", "-j", "--log", log});
    EXPECT_EQ(later.code, 0) << later.err;
    const std::string text = FileText(log);
    ASSERT_EQ(text.rfind(damaged + "\n", 0), 0u) << text;
    ExpectRecordsOf(text.substr(damaged.size() + 1), {1001, 1003});
}

// The figure after `words` in the help: "SECONDS plus 2.9 s" gives 2.9.
double HelpFigure(const std::string& help, const std::string& words) {
    const size_t at = help.find(words);
    return at == std::string::npos ? -1 : std::stod(help.substr(at + words.size()));
}

TEST_F(P06ReadTest, WaitEndsWithinTheBoundTheHelpStates) {
    const std::string help = Read({"--help", "--lang", "en"}).out;
    const double plus = HelpFigure(help, "SECONDS plus ");
    const double least = HelpFigure(help, "and within ");
    ASSERT_GT(plus, 0) << help;
    ASSERT_GT(least, 0) << help;
    // Starting and ending the process is not part of the wait.
    constexpr double kProcessSeconds = 0.5;
    SimProcess sim({"--silent"}, kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    for (const int wait : {0, 2, 4}) {
        SCOPED_TRACE(wait);
        const std::string trace = configHome_ / "wire.txt";
        const auto start = std::chrono::steady_clock::now();
        const ReaderExit reader =
            Read({"--port", std::to_string(kCom), "--wait", std::to_string(wait), "-t", trace});
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(reader.code, 3) << reader.err;
        EXPECT_LE(seconds, std::max(wait + plus, least) + kProcessSeconds);
        EXPECT_GE(seconds, wait);
        if (wait == 0) {
            EXPECT_EQ(Count(FileText(trace), "> 80"), 1);
        }
    }
}

}  // namespace
