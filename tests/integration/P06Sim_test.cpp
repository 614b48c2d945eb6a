// p06-sim as a program: its command line, its alias and its ending.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Version.h"
#include "link/Com_p06.h"
#include "tests/support/ConfigurationHome.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitUsage = 1;

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(P06SimTest, AnnouncesItsPortAndRemovesTheAliasOnStop) {
    SimProcess sim({}, 12);
    ASSERT_TRUE(sim.Ready());
    const std::string device = sim.DevicePath();
    EXPECT_EQ(sim.Line(),
              "p06-sim: serving " + device + " as COM12 (alias " + sim.AliasPath() + ")");
    EXPECT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    ASSERT_TRUE(fs::is_symlink(sim.AliasPath()));
    // Through the simulator's own descriptor, which vanishes with it.
    EXPECT_EQ(fs::read_symlink(sim.AliasPath()).string().rfind("/proc/", 0), 0u);
    EXPECT_EQ(fs::canonical(sim.AliasPath()).string(), device);
    EXPECT_EQ(ExitCode(sim.Stop()), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(sim.AliasPath())));
}

TEST(P06SimTest, ReplacesAStaleAlias) {
    TempDir ports;
    fs::create_symlink("/dev/null-gone", ports / "COM3");
    SimProcess sim({}, 3, ports.Path());
    ASSERT_TRUE(sim.Ready());
    EXPECT_EQ(fs::canonical(ports / "COM3").string(), sim.DevicePath());
}

TEST(P06SimTest, KilledSimulatorsAliasLeadsNowhereAndIsReplaced) {
    TempDir ports;
    SimProcess killed({}, 3, ports.Path());
    ASSERT_TRUE(killed.Ready());
    killed.Stop(SIGKILL);
    // Left behind, but dangling whatever program gets the pseudo-terminal next.
    EXPECT_TRUE(fs::is_symlink(ports / "COM3"));
    EXPECT_FALSE(fs::exists(ports / "COM3"));
    SimProcess next({}, 3, ports.Path());
    ASSERT_TRUE(next.Ready());
    EXPECT_EQ(fs::canonical(ports / "COM3").string(), next.DevicePath());
}

TEST(P06SimTest, RefusesTheComNumberOfALiveSimulator) {
    TempDir ports;
    SimProcess live({}, 3, ports.Path());
    ASSERT_TRUE(live.Ready());
    const std::string target = fs::read_symlink(ports / "COM3").string();
    const SimRun second = RunSim({"--ports-dir", ports.Path(), "-n", "3"});
    EXPECT_EQ(ExitCode(second.status), 1);
    EXPECT_EQ(second.err, "p06-sim: COM3 is served by another simulator\n");
    EXPECT_EQ(fs::read_symlink(ports / "COM3").string(), target);
}

TEST(P06SimTest, VersionIsTheProjects) {
    for (const char* option : {"--version", "-V"}) {
        const SimRun run = RunSim({option});
        EXPECT_EQ(ExitCode(run.status), 0);
        EXPECT_EQ(run.out, "p06-sim " QUENLOR_VERSION "\n");
    }
}

TEST(P06SimTest, LeavesAFileThatIsNotAnAlias) {
    TempDir ports;
    std::ofstream(ports / "COM3") << "mine";
    const SimRun run = RunSim({"--ports-dir", ports.Path(), "--com", "3"});
    EXPECT_EQ(ExitCode(run.status), 1);
    EXPECT_NE(run.err.find("not an alias"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_regular_file(ports / "COM3"));
}

TEST(P06SimTest, HelpListsEveryOption) {
    const SimRun run = RunSim({"--help"});
    EXPECT_EQ(ExitCode(run.status), 0);
    for (const char* option :
         {"--type",          "--serial",       "--circuit",        "--software",   "--silent",
          "--refuse",        "--accept-after", "--stop-after",     "--lower-case", "--refuse-rate",
          "--fault",         "--replug-after", "--units",          "--present",    "--absent",
          "--latency-timer", "--answer-delay", "--rate-ack-alone", "--com",        "--ports-dir",
          "--dump",          "--help"}) {
        EXPECT_NE(run.out.find(option), std::string::npos) << option;
    }
}

TEST(P06SimTest, RefusesABadCommandLine) {
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{"--colour"}, "unknown option '--colour'"},
        {{"--serial"}, "option '--serial' needs a value"},
        {{"-s"}, "option '-s' needs a value"},
        // The letters p06-read gives other meanings are none of p06-sim's.
        {{"-c", "3"}, "unknown option '-c' (the COM number is given with -n or --com since 1.1.0)"},
        {{"--bench", "/nonexistent/bench"}, "--bench /nonexistent/bench: No such file"},
        {{"--ports-dir", "/nonexistent/x"},
         "--ports-dir /nonexistent/x: /nonexistent is no folder"},
        {{"-l"}, "unknown option '-l'"},
        {{"--silent=1"}, "option '--silent' takes no value"},
        {{"unit"}, "unexpected argument 'unit'"},
        {{"--serial", "4294967296"}, "bad value '4294967296' for --serial"},
        {{"--serial", "-1"}, "bad value '-1' for --serial"},
        {{"--circuit", "256"}, "bad value '256' for --circuit"},
        {{"--software", "2"}, "bad value '2' for --software"},
        {{"--software", "2.256"}, "bad value '2.256' for --software"},
        {{"--type", "P6"}, "bad value 'P6' for --type"},
        {{"--com", "0"}, "bad value '0' for --com"},
        {{"--com", "101"}, "bad value '101' for --com"},
        {{"--accept-after", "x"}, "bad value 'x' for --accept-after"},
        {{"--fault", "type:sideways"}, "bad value 'type:sideways' for --fault: expected STEP:KIND"},
        {{"--fault", "middle:late"}, "bad value 'middle:late' for --fault"},
        {{"--fault", "type"}, "STEP one of poll, type, serial, circuit, software, end, KIND"},
        {{"--fault=end:echo", "--fault=end:late"}, "'end:late' for --fault: expected one fault"},
        {{"--units", "0"}, "bad value '0' for --units"},
        {{"--units", "2", "-s", "4294967295"}, "bad value '2' for --units: serial numbers from"},
        {{"--present", "-5"}, "bad value '-5' for --present"},
        {{"--replug-after", "1s"}, "bad value '1s' for --replug-after"},
        {{"--latency-timer", "0"}, "bad value '0' for --latency-timer"},
        {{"--latency-timer", "256"}, "bad value '256' for --latency-timer"},
        {{"--answer-delay", "300-50"}, "bad value '300-50' for --answer-delay"},
        {{"--answer-delay", "20-"}, "bad value '20-' for --answer-delay"},
        {{"--answer-delay", "10001"}, "bad value '10001' for --answer-delay"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const SimRun run = RunSim(c.arguments);
        EXPECT_EQ(ExitCode(run.status), kExitUsage);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err, "p06-sim: " + run.err.substr(9, run.err.find('\n') - 9) +
                               "\nTry 'p06-sim --help' for more information.\n");
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

// Line faults and units over a real pseudo-terminal, read through the device link.
const struct {
    const char* name;
    std::vector<std::string> options;
    void (*read)(CP06& link, const std::string& alias);
} kLinkRuns[] = {
    {"late type digit: the host's wait ends first, the digit comes at 1.5 s",
     {"--fault", "type:late"},
     [](CP06& link, const std::string&) {
         ASSERT_EQ(link.Connect(1), kStatusOk);
         const auto start = std::chrono::steady_clock::now();
         EXPECT_EQ(link.CheckType(), kStatusNothingReceived);
         EXPECT_NEAR(SecondsSince(start), 1.1, 0.25);
         int32_t digit = 0;
         EXPECT_EQ(link.ReceiveByte(digit), kStatusOk);
         EXPECT_EQ(digit, '5');
         EXPECT_NEAR(SecondsSince(start), 1.5, 0.25);
     }},
    {"unplugged at the type, back at the same alias",
     {"--fault", "type:unplug", "--replug-after", "300"},
     [](CP06& link, const std::string& alias) {
         ASSERT_EQ(link.Connect(1), kStatusOk);
         EXPECT_EQ(link.CheckType(), EIO);
         EXPECT_FALSE(fs::exists(fs::symlink_status(alias)));
         for (int i = 0; i < 100 && !fs::exists(alias); ++i)
             std::this_thread::sleep_for(std::chrono::milliseconds(20));
         ASSERT_TRUE(fs::exists(alias));
         EXPECT_EQ(link.Connect(1), EIO);  // the old port is let go, the next opens the new
         ASSERT_EQ(link.Connect(1), kStatusOk);
         EXPECT_EQ(link.CheckType(), kStatusOk);
     }},
    {"two units one after the other",
     {"--units", "2", "--serial", "100", "--present", "200", "--absent", "200"},
     [](CP06& link, const std::string&) {
         for (uint32_t expected : {100u, 101u}) {
             ASSERT_EQ(link.Connect(3), kStatusOk);
             uint32_t serial = 0;
             EXPECT_EQ(link.ReadSerialNumber(serial), kStatusOk);
             EXPECT_EQ(serial, expected);
             EXPECT_EQ(link.Disconnect(), kStatusOk);
         }
     }},
};

TEST(P06SimTest, LineFaultsAndUnitsReachTheLink) {
    for (const auto& run : kLinkRuns) {
        SCOPED_TRACE(run.name);
        ConfigurationHome home;
        CP06 link;
        // Stopped before the link closes the port, which then needs no answer.
        SimProcess sim(run.options, 5, home.PortsDir());
        ASSERT_TRUE(sim.Ready());
        link.SetPort(5);
        run.read(link, sim.AliasPath());
    }
}

}  // namespace
