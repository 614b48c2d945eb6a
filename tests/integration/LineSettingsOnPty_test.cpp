// What the link asks of the line when it opens a port, seen from the port's side over a
// pseudo-terminal served by p06-sim: raw 8 data bits, one stop bit, no flow control, 9600
// bit/s. A pseudo-terminal has no modem lines: it refuses the DTR and RTS requests, and the
// link must open and talk all the same. (It also drops the parity bit, so even parity can
// only be seen on a real port.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "link/Com_p06.h"
#include "tests/support/ConfigurationHome.h"
#include "tests/support/SimProcess.h"

namespace {

constexpr int kCom = 8;

TEST(LineSettingsOnPtyTest, LinkOpensAPortWithoutModemLinesAndConfiguresIt) {
    ConfigurationHome home;
    SimProcess sim({}, kCom, home.PortsDir());
    ASSERT_TRUE(sim.Ready());
    // The port seen from another descriptor, opened before the link takes the port for itself.
    const int port = open(sim.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(port, 0);

    int lines = 0;
    errno = 0;
    EXPECT_NE(ioctl(port, TIOCMGET, &lines), 0) << "a pseudo-terminal with modem lines";
    const int refusal = errno;
    EXPECT_TRUE(refusal == ENOTTY || refusal == EINVAL) << "errno " << refusal;

    {
        CP06 link;
        link.SetPort(kCom);
        ASSERT_EQ(link.Open(), kStatusOk);
        termios settings{};
        ASSERT_EQ(tcgetattr(port, &settings), 0);
        EXPECT_EQ(cfgetospeed(&settings), B9600);
        EXPECT_EQ(cfgetispeed(&settings), B9600);
        EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(settings.c_cflag & (CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR), 0u);
        EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(settings.c_oflag & OPOST, 0u);
        // The refused modem requests are no failure: the whole conversation goes through.
        EXPECT_EQ(link.Connect(1), kStatusOk);
        EXPECT_EQ(link.CheckType(), kStatusOk);
        EXPECT_EQ(link.Disconnect(), kStatusOk);
        EXPECT_EQ(link.Close(), kStatusOk);
    }
    close(port);
}

}  // namespace
