// A port whose unit vanished (p06-sim killed: the pseudo-terminal hangs up, as a tty does when
// its USB adapter is unplugged) must still close, so that the next Connect opens the port
// afresh instead of polling a dead descriptor for ever.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "link/Com_p06.h"
#include "tests/support/ConfigurationHome.h"
#include "tests/support/SimProcess.h"

namespace {

constexpr int kCom = 9;

TEST(VanishedPortTest, DeadPortClosesAndTheNextConnectOpensItAfresh) {
    ConfigurationHome home;
    const std::string portsDir = home.PortsDir();
    CP06 link;
    link.SetPort(kCom);
    {
        SimProcess sim({}, kCom, portsDir);
        ASSERT_TRUE(sim.Ready());
        ASSERT_EQ(link.Connect(1), kStatusOk);
        ASSERT_EQ(link.Disconnect(), kStatusOk);
        sim.Stop(SIGKILL);
    }
    // A hung-up tty refuses every write: the poll cannot go out, and the link lets the port
    // go. Closing must work all the same: there is nothing left to give back to a line that
    // hung up.
    EXPECT_EQ(link.Connect(1), EIO);
    EXPECT_FALSE(link.IsOpen());

    SimProcess again({}, kCom, portsDir);
    ASSERT_TRUE(again.Ready());
    EXPECT_EQ(link.Connect(1), kStatusOk);
    EXPECT_EQ(link.CheckType(), kStatusOk);
}

}  // namespace
