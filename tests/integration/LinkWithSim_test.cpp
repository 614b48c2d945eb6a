// The device link on the machine's own serial line and clock, talking to p06-sim over a
// real pseudo-terminal found through its COM alias.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/Com_p06.h"
#include "tests/support/ConfigurationHome.h"
#include "tests/support/SimProcess.h"

namespace {

constexpr int kCom = 7;

// Points the program's settings folder, and so its port aliases, into a test folder.
class LinkWithSimTest : public ::testing::Test {
protected:
    std::string PortsDir() const { return configHome_.PortsDir(); }

    ConfigurationHome configHome_;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct ReadingCase {
    const char* name;
    std::vector<std::string> options;
    int32_t typeStatus;
    uint32_t serialNumber;
    int32_t circuitVersion;
    int32_t softwareFirst;
    int32_t softwareSecond;
};

const ReadingCase kReadings[] = {
    {"P06 unit",
     {"--serial", "305419896", "--circuit", "17", "--software", "4.12"},
     kStatusOk,
     305419896u,
     17,
     4,
     12},
    {"largest serial number and versions",
     {"--serial", "4294967295", "--circuit", "255", "--software", "255.0"},
     kStatusOk,
     4294967295u,
     255,
     255,
     0},
    {"unit of another type",
     {"--type", "P07", "--serial", "1", "--software", "0.1"},
     kStatusWrongType,
     1u,
     3,
     0,
     1},
};

TEST_F(LinkWithSimTest, WholeConversationReadsTheUnit) {
    for (const ReadingCase& c : kReadings) {
        SCOPED_TRACE(c.name);
        SimProcess sim(c.options, kCom, PortsDir());
        ASSERT_TRUE(sim.Ready());
        CP06 link;
        link.SetPort(kCom);
        ASSERT_EQ(link.Connect(1), kStatusOk);
        EXPECT_TRUE(link.IsConnected());
        EXPECT_EQ(link.CheckType(), c.typeStatus);
        uint32_t serial = 0;
        EXPECT_EQ(link.ReadSerialNumber(serial), kStatusOk);
        EXPECT_EQ(serial, c.serialNumber);
        int32_t circuit = -1;
        EXPECT_EQ(link.ReadCircuitVersion(circuit), kStatusOk);
        EXPECT_EQ(circuit, c.circuitVersion);
        int32_t first = -1;
        int32_t second = -1;
        EXPECT_EQ(link.ReadSoftwareVersion(first, second), kStatusOk);
        EXPECT_EQ(first, c.softwareFirst);
        EXPECT_EQ(second, c.softwareSecond);
        EXPECT_EQ(link.Disconnect(), kStatusOk);
        EXPECT_FALSE(link.IsConnected());
        EXPECT_TRUE(link.IsOpen());  // the port stays open between readings
    }
}

// One poll cycle: the one-second purge, then the 1100 ms read time-out.
TEST_F(LinkWithSimTest, SilentUnitTimesOutAfterOnePollCycle) {
    SimProcess sim({"--silent"}, kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    CP06 link;
    link.SetPort(kCom);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.Connect(1), kStatusNothingReceived);
    const double seconds = SecondsSince(start);
    EXPECT_GE(seconds, 1.9);
    EXPECT_LE(seconds, 3.5);
    EXPECT_FALSE(link.IsConnected());
    EXPECT_TRUE(link.IsOpen());
}

TEST_F(LinkWithSimTest, UnitThatAcceptsLateIsReachedOnTheNextConnect) {
    SimProcess sim({"--accept-after", "1"}, kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    CP06 link;
    link.SetPort(kCom);
    EXPECT_EQ(link.Connect(1), kStatusNothingReceived);
    EXPECT_EQ(link.Connect(1), kStatusOk);
    EXPECT_TRUE(link.IsConnected());
}

// The unit sends 0x81 and the first three type digits, then nothing more.
TEST_F(LinkWithSimTest, UnitThatStopsAnsweringFailsTheQuery) {
    SimProcess sim({"--stop-after", "4"}, kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    CP06 link;
    link.SetPort(kCom);
    ASSERT_EQ(link.Connect(1), kStatusOk);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.CheckType(), kStatusNothingReceived);
    EXPECT_GE(SecondsSince(start), 1.0);
    EXPECT_TRUE(link.IsConnected());
}

TEST_F(LinkWithSimTest, SecondLinkOnAPortInUseGetsTheSystemError) {
    SimProcess sim({}, kCom, PortsDir());
    ASSERT_TRUE(sim.Ready());
    CP06 first;
    first.SetPort(kCom);
    ASSERT_EQ(first.Connect(1), kStatusOk);

    CP06 second;
    second.SetPort(kCom);
    const int32_t status = second.Connect(1);
    EXPECT_GT(status, 0);
    EXPECT_LT(status, kStatusNotConnected);
    // Root passes the tty's exclusive mode and meets the lock instead.
    EXPECT_TRUE(status == EBUSY || status == EWOULDBLOCK) << "status " << status;
    EXPECT_FALSE(second.IsOpen());
    // The first link still owns the conversation.
    int32_t circuit = -1;
    EXPECT_EQ(first.ReadCircuitVersion(circuit), kStatusOk);
    EXPECT_EQ(circuit, 3);
}

TEST_F(LinkWithSimTest, PortWithoutAliasIsMissing) {
    CP06 link;
    link.SetPort(97);  // no alias, and no kernel device carries that number
    EXPECT_EQ(link.Connect(1), ENOENT);
    EXPECT_FALSE(link.IsOpen());
}

}  // namespace
