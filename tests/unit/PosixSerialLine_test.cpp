// The termios serial line over real pseudo-terminals: the test holds the master side (the
// unit's end) and its own descriptor of the port, and the line under test opens the port
// through a COM alias in a test folder.
#include "platform/posix/PosixSerialLine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "link/Com_p06.h"
#include "tests/support/PosixChildProcess.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPortPath = "\\\\.\\COM7";

SerialTimeouts ReadWithin(uint32_t ms) { return SerialTimeouts{0, 0, ms, 0, ms}; }

int64_t MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

// True when fd has something to read within ms.
bool Readable(int fd, int ms) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, ms) == 1 && (entry.revents & POLLIN) != 0;
}

class PosixSerialLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[64];
        ASSERT_EQ(openpty(&master_, &port_, name, nullptr, nullptr), 0) << std::strerror(errno);
        portName_ = name;
        fs::create_symlink(portName_, aliases_ / "COM7");
    }
    void TearDown() override {
        if (master_ >= 0) close(master_);
        if (port_ >= 0) close(port_);
    }

    // Opens the port and gives it the link's settings and the given read time-out.
    SerialLine::Handle OpenConfigured(uint32_t readMs) {
        const SerialLine::Handle handle = line_.Open(kPortPath);
        EXPECT_NE(handle, SerialLine::kInvalidHandle) << std::strerror(line_.LastError());
        EXPECT_TRUE(line_.SetState(handle, CP06::DefaultSettings()))
            << std::strerror(line_.LastError());
        EXPECT_TRUE(line_.SetTimeouts(handle, ReadWithin(readMs)));
        return handle;
    }

    TempDir aliases_;
    PosixSerialLine line_{aliases_.Path()};
    int master_ = -1;
    int port_ = -1;  // the test's own descriptor of the port, to read its termios
    std::string portName_;
};

TEST_F(PosixSerialLineTest, SecondOpenOfAPortInUseFailsWithTheSystemError) {
    const SerialLine::Handle first = line_.Open(kPortPath);
    ASSERT_NE(first, SerialLine::kInvalidHandle) << std::strerror(line_.LastError());
    PosixSerialLine other(aliases_.Path());
    for (SerialLine* second :
         {static_cast<SerialLine*>(&line_), static_cast<SerialLine*>(&other)}) {
        EXPECT_EQ(second->Open(kPortPath), SerialLine::kInvalidHandle);
        // Root passes the tty's exclusive mode and meets the lock; others meet the mode.
        const int32_t error = second->LastError();
        EXPECT_TRUE(error == EBUSY || error == EWOULDBLOCK) << std::strerror(error);
    }
    ASSERT_TRUE(line_.Close(first));
    const SerialLine::Handle again = other.Open(kPortPath);
    EXPECT_NE(again, SerialLine::kInvalidHandle) << std::strerror(other.LastError());
    EXPECT_TRUE(other.Close(again));
}

// Runs an open of the port as user nobody in a child process; returns its errno (0: opened).
int OpenAsNobody(const std::string& aliasDir) {
    const pid_t child = fork();
    if (child == 0) {
        if (!DropToNobody()) _exit(255);
        PosixSerialLine line(aliasDir);
        const SerialLine::Handle handle = line.Open(kPortPath);
        _exit(handle == SerialLine::kInvalidHandle ? line.LastError() : 0);
    }
    // A child that hangs in the open is killed past the limit, and fails the test.
    const int status = WaitWithin(child, kChildLimitMs);
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 254;
}

// A pseudo-terminal stays exclusive after its holder closed it unless the mode is lifted.
TEST_F(PosixSerialLineTest, OtherUsersAreKeptOutUntilClose) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    ASSERT_EQ(fchown(port_, kNobody, kNobody), 0);
    const SerialLine::Handle handle = line_.Open(kPortPath);
    ASSERT_NE(handle, SerialLine::kInvalidHandle);
    EXPECT_EQ(OpenAsNobody(aliases_.Path()), EBUSY);
    ASSERT_TRUE(line_.Close(handle));
    EXPECT_EQ(OpenAsNobody(aliases_.Path()), 0);
}

// Root passes the exclusive mode and meets the holder's lock; the refused open must leave
// the holder's exclusive mode as it found it.
TEST_F(PosixSerialLineTest, ARefusedOpenLeavesTheHoldersExclusiveMode) {
    ASSERT_EQ(flock(port_, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(ioctl(port_, TIOCEXCL), 0);
    EXPECT_EQ(line_.Open(kPortPath), SerialLine::kInvalidHandle);
    int exclusive = 0;
    ASSERT_EQ(ioctl(port_, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    ASSERT_EQ(ioctl(port_, TIOCNXCL), 0);
}

TEST_F(PosixSerialLineTest, MissingPortFailsWithENOENT) {
    fs::create_symlink(aliases_ / "gone", aliases_ / "COM98");
    const char* const paths[] = {
        "\\\\.\\COM97",  // no alias, and no kernel device has that number
        "\\\\.\\COM98",  // an alias to nothing
        "\\\\.\\COM",    // no number at all
    };
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(line_.Open(path), SerialLine::kInvalidHandle);
        EXPECT_EQ(line_.LastError(), ENOENT);
    }
}

TEST_F(PosixSerialLineTest, ReadOnASilentLineEndsWithCountZeroAfterTheTotalTimeout) {
    const SerialLine::Handle handle = OpenConfigured(50);
    uint8_t value = 0x5A;
    uint32_t count = 99;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(line_.ReadByte(handle, value, count));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(value, 0x5A);
    // Never a moment short: the time left is not rounded down on the way to poll.
    EXPECT_GE(elapsed, std::chrono::milliseconds(50));
    EXPECT_LT(elapsed, std::chrono::milliseconds(1000));
}

// As on Windows: an interval of MAXDWORD and no totals return at once.
TEST_F(PosixSerialLineTest, ReadWithoutWaitingReturnsAtOnce) {
    const SerialLine::Handle handle = OpenConfigured(0);
    ASSERT_TRUE(line_.SetTimeouts(handle, SerialTimeouts{0xFFFFFFFFu, 0, 0, 0, 0}));
    uint8_t value = 0;
    uint32_t count = 99;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(line_.ReadByte(handle, value, count));
    EXPECT_EQ(count, 0u);
    EXPECT_LT(MsSince(start), 40);
}

// Bytes that a terminal would act on (line ends, flow and signal characters) pass as data.
TEST_F(PosixSerialLineTest, BytesPassUnchangedBothWays) {
    const SerialLine::Handle handle = OpenConfigured(1000);
    const uint8_t bytes[] = {0x80, 0x81, 0x00, 0x0A, 0x0D, 0x11, 0x13, 0x03,
                             0x04, 0x1A, 0x7F, 0xFF, 0x84, 0x30, 0x46};
    for (uint8_t byte : bytes) {
        SCOPED_TRACE("byte " + std::to_string(byte));
        uint32_t written = 0;
        ASSERT_TRUE(line_.WriteByte(handle, byte, written)) << std::strerror(line_.LastError());
        EXPECT_EQ(written, 1u);
        ASSERT_TRUE(Readable(master_, 1000));
        uint8_t atUnit = 0;
        ASSERT_EQ(read(master_, &atUnit, 1), 1);
        EXPECT_EQ(atUnit, byte);

        ASSERT_EQ(write(master_, &byte, 1), 1);
        uint8_t atHost = 0;
        uint32_t count = 0;
        ASSERT_TRUE(line_.ReadByte(handle, atHost, count)) << std::strerror(line_.LastError());
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(atHost, byte);
        uint32_t errors = 99;
        ASSERT_TRUE(line_.TakeLineErrors(handle, errors));
        EXPECT_EQ(errors, 0u);
        EXPECT_FALSE(Readable(master_, 0)) << "the port echoed or added bytes";
    }
}

TEST_F(PosixSerialLineTest, PurgeDiscardsWhatTheUnitSent) {
    const SerialLine::Handle handle = OpenConfigured(50);
    const uint8_t pending[] = {0x81, 0x85, 0x30};
    ASSERT_EQ(write(master_, pending, sizeof pending), 3);
    ASSERT_TRUE(Readable(port_, 1000));
    EXPECT_TRUE(line_.Purge(handle, 0x0F));
    uint8_t value = 0;
    uint32_t count = 99;
    EXPECT_TRUE(line_.ReadByte(handle, value, count));
    EXPECT_EQ(count, 0u);
}

// With parity on, the tty doubles a real 0xFF (a pseudo-terminal keeps the marking, not the
// parity): the port counts and gives it as one byte, and a purge drops what it read ahead.
TEST_F(PosixSerialLineTest, AMarkedByteCountsAndReadsAsOne) {
    const SerialLine::Handle handle = OpenConfigured(50);
    const uint8_t sent[] = {0xFF, 0x30, 0xFF};
    ASSERT_EQ(write(master_, sent, sizeof sent), 3);
    ASSERT_TRUE(Readable(port_, 1000));
    uint32_t waiting = 0;
    uint8_t value = 0;
    uint32_t count = 0;
    for (uint32_t left : {3u, 2u}) {
        ASSERT_TRUE(line_.InputWaiting(handle, waiting)) << std::strerror(line_.LastError());
        EXPECT_EQ(waiting, left);
        ASSERT_TRUE(line_.ReadByte(handle, value, count));
        EXPECT_EQ(value, sent[3 - left]);
    }
    EXPECT_TRUE(line_.Purge(handle, 0x0F));
    ASSERT_TRUE(line_.InputWaiting(handle, waiting));
    EXPECT_EQ(waiting, 0u);
}

// When the unit's side goes away, poll() reports the hang-up at once and for good; the
// read fails with EIO instead of returning at once with no byte or spinning to the time-out.
TEST_F(PosixSerialLineTest, HangUpEndsTheReadWithEIO) {
    const SerialLine::Handle handle = OpenConfigured(5000);
    close(master_);
    master_ = -1;
    uint8_t value = 0;
    uint32_t count = 99;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(line_.ReadByte(handle, value, count));
    EXPECT_EQ(line_.LastError(), EIO);
    EXPECT_EQ(count, 0u);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_TRUE(line_.Close(handle));
}

// A unit that reads nothing fills the line; the write then times out with nothing written,
// which is success, as on Windows.
TEST_F(PosixSerialLineTest, WriteToAFullLineTimesOutWithNothingWritten) {
    const SerialLine::Handle handle = OpenConfigured(20);
    uint32_t written = 1;
    int sent = 0;
    for (; sent < 1000000 && written == 1; ++sent) {
        ASSERT_TRUE(line_.WriteByte(handle, 0x55, written)) << std::strerror(line_.LastError());
    }
    EXPECT_EQ(written, 0u);
    EXPECT_GT(sent, 1);
}

TEST_F(PosixSerialLineTest, LinkSettingsReachThePort) {
    const SerialLine::Handle handle = OpenConfigured(50);
    termios port{};
    ASSERT_EQ(tcgetattr(port_, &port), 0);
    EXPECT_EQ(cfgetospeed(&port), B9600);
    EXPECT_EQ(cfgetispeed(&port), B9600);
    // A pseudo-terminal drops the parity bit and keeps 8 data bits; the rest it keeps.
    EXPECT_EQ(port.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(port.c_cflag & (CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(port.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(port.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(port.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(port.c_oflag & OPOST, 0u);

    SerialSettings read;
    ASSERT_TRUE(line_.GetState(handle, read));
    EXPECT_EQ(read.DCBlength, 28u);
    EXPECT_EQ(read.BaudRate, 9600u);
    EXPECT_EQ(read.ByteSize, 8);
    EXPECT_EQ(read.StopBits, kOneStopBit);
    EXPECT_EQ(read.fBinary, 1u);
    EXPECT_EQ(read.fOutxCtsFlow, 0u);
    EXPECT_EQ(read.fOutX, 0u);
    EXPECT_EQ(read.fInX, 0u);
    EXPECT_EQ(read.fDtrControl, kDtrControlDisable);
    EXPECT_EQ(read.fRtsControl, kRtsControlEnable);
}

TEST_F(PosixSerialLineTest, EveryRateOfTheLinkIsSetAndReadBack) {
    const SerialLine::Handle handle = OpenConfigured(50);
    const uint32_t rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,   14400,
                              19200, 38400, 56000, 57600, 115200, 128000, 256000, 230400};
    for (uint32_t rate : rates) {
        SCOPED_TRACE("rate " + std::to_string(rate));
        SerialSettings settings = CP06::DefaultSettings();
        settings.BaudRate = rate;
        ASSERT_TRUE(line_.SetState(handle, settings)) << std::strerror(line_.LastError());
        SerialSettings read;
        ASSERT_TRUE(line_.GetState(handle, read));
        EXPECT_EQ(read.BaudRate, rate);
    }
}

TEST_F(PosixSerialLineTest, TwoStopBitsReachThePort) {
    const SerialLine::Handle handle = OpenConfigured(50);
    SerialSettings settings = CP06::DefaultSettings();
    settings.StopBits = kTwoStopBits;
    ASSERT_TRUE(line_.SetState(handle, settings));
    termios port{};
    ASSERT_EQ(tcgetattr(port_, &port), 0);
    EXPECT_NE(port.c_cflag & CSTOPB, 0u);
}

// The port's configuration now, flag for flag, rate and control characters, is before's.
void ExpectConfigurationAsBefore(int port, const termios& before) {
    termios after{};
    ASSERT_EQ(tcgetattr(port, &after), 0);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof after.c_cc), 0);
}

TEST_F(PosixSerialLineTest, CloseGivesBackTheConfigurationFoundAtOpen) {
    termios before{};
    ASSERT_EQ(tcgetattr(port_, &before), 0);
    before.c_cflag |= CSTOPB;
    before.c_iflag |= IXON | ICRNL;
    before.c_lflag |= ICANON | ECHO;
    cfsetispeed(&before, B1200);
    cfsetospeed(&before, B1200);
    ASSERT_EQ(tcsetattr(port_, TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(port_, &before), 0);

    const SerialLine::Handle handle = OpenConfigured(50);
    termios during{};
    ASSERT_EQ(tcgetattr(port_, &during), 0);
    ASSERT_NE(during.c_lflag, before.c_lflag);
    ASSERT_TRUE(line_.Close(handle));

    ExpectConfigurationAsBefore(port_, before);
    EXPECT_EQ(cfgetospeed(&before), B1200);
}

TEST_F(PosixSerialLineTest, CallsOnAHandleNotOpenFailWithEBADF) {
    const SerialLine::Handle notOpen = 12345;
    SerialSettings settings = CP06::DefaultSettings();
    SerialTimeouts timeouts;
    uint8_t value = 0;
    uint32_t count = 0;
    const struct {
        const char* name;
        bool result;
    } calls[] = {
        {"GetState", line_.GetState(notOpen, settings)},
        {"SetState", line_.SetState(notOpen, settings)},
        {"GetTimeouts", line_.GetTimeouts(notOpen, timeouts)},
        {"SetTimeouts", line_.SetTimeouts(notOpen, timeouts)},
        {"Purge", line_.Purge(notOpen, 0x0F)},
        {"WriteByte", line_.WriteByte(notOpen, 0x80, count)},
        {"ReadByte", line_.ReadByte(notOpen, value, count)},
        {"TakeLineErrors", line_.TakeLineErrors(notOpen, count)},
        {"Close", line_.Close(notOpen)},
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(call.name);
        EXPECT_FALSE(call.result);
    }
    EXPECT_EQ(line_.LastError(), EBADF);
}

// The machine's first UART, nothing attached: only a real port keeps parity, so only there
// can the link's even parity, checked and marked, be seen. The kernel lists a placeholder
// ttyS0 (type 0) on machines without that UART.
bool IsRealUart(const char* kernelName) {
    std::ifstream type(std::string("/sys/class/tty/") + kernelName + "/type");
    int kind = 0;
    return static_cast<bool>(type >> kind) && kind != 0;
}

TEST(PosixSerialLineUartTest, LinkSettingsCheckParityOnARealUartAndCloseGivesItsOwnBack) {
    if (access("/dev/ttyS0", F_OK) != 0 || !IsRealUart("ttyS0")) {
        GTEST_SKIP() << "needs a real UART at /dev/ttyS0";
    }
    // The port seen from a descriptor of the test's own, opened first.
    const int port = open("/dev/ttyS0", O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port < 0) GTEST_SKIP() << "/dev/ttyS0: " << std::strerror(errno);
    const std::unique_ptr<const int, void (*)(const int*)> closing(
        &port, [](const int* fd) { close(*fd); });
    termios before{};
    ASSERT_EQ(tcgetattr(port, &before), 0);

    TempDir aliases;  // none: COM1 is ttyS0 by the kernel numbering
    PosixSerialLine line(aliases.Path());
    const SerialLine::Handle handle = line.Open("\\\\.\\COM1");
    ASSERT_NE(handle, SerialLine::kInvalidHandle) << std::strerror(line.LastError());
    EXPECT_TRUE(line.SetState(handle, CP06::DefaultSettings())) << std::strerror(line.LastError());
    termios during{};
    EXPECT_EQ(tcgetattr(port, &during), 0);
    EXPECT_EQ(during.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB),
              static_cast<tcflag_t>(CS8 | PARENB));
    EXPECT_EQ(during.c_iflag & (INPCK | PARMRK | IGNPAR | ISTRIP),
              static_cast<tcflag_t>(INPCK | PARMRK));
    EXPECT_EQ(cfgetispeed(&during), B9600);
    uint32_t errors = 0;
    EXPECT_TRUE(line.TakeLineErrors(handle, errors)) << std::strerror(line.LastError());
    ASSERT_TRUE(line.Close(handle)) << std::strerror(line.LastError());

    ExpectConfigurationAsBefore(port, before);
}

}  // namespace
