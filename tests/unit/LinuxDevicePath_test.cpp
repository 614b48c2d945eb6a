// The COM numbering of Linux devices and how the serial line finds the file to open for a
// Win32 device path: the alias first, then the kernel device the numbering gives.
#include "platform/posix/LinuxDevicePath.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/SystemPorts.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

TEST(LinuxDevicePath, KernelNamesAndComNumbers) {
    struct Case {
        const char* kernelName;
        int comNumber;
    };
    const Case cases[] = {
        {"ttyS0", 1},     {"ttyS31", 32},  {"ttyUSB0", 33},
        {"ttyUSB31", 64}, {"ttyACM0", 65}, {"ttyACM31", 96},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kernelName);
        EXPECT_EQ(ComNumberForKernelName(c.kernelName), c.comNumber);
        EXPECT_EQ(KernelNameForComNumber(c.comNumber), c.kernelName);
    }
    for (const char* unnumbered : {"ttyS32", "ttyUSB32", "ttyACM32", "ttyUSB", "ttyUSB01",
                                   "ttyUSB-1", "ttyS1x", "tty0", "ttyAMA0", "pts/3", ""}) {
        SCOPED_TRACE(unnumbered);
        EXPECT_EQ(ComNumberForKernelName(unnumbered), 0);
    }
    for (int number : {-1, 0, 97, 1000}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(KernelNameForComNumber(number), "");
    }
}

TEST(LinuxDevicePath, ComNumberOfDevicePath) {
    struct Case {
        const char* path;
        int number;
    };
    const Case cases[] = {
        {"\\\\.\\COM3", 3},
        {"COM3", 3},
        {"\\\\.\\COM33", 33},
        {"\\\\.\\COM256", 256},
        {"\\\\.\\COM0", 0},
        {"\\\\.\\COM", 0},
        {"\\\\.\\COM03", 0},
        {"\\\\.\\COM3 ", 0},
        {"\\\\.\\COM3x", 0},
        {"\\\\.\\com3", 0},
        {"\\\\.\\LPT1", 0},
        {"/dev/ttyS0", 0},
        {"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ComNumberOfDevicePath(c.path), c.number);
    }
}

TEST(LinuxDevicePath, ResolveTakesTheAliasFirst) {
    TempDir dir;
    const std::string aliases = dir / "ports";
    fs::create_directory(aliases);
    if (mknod((dir / "pts-7").c_str(), S_IFCHR | 0600, makedev(240, 0)) != 0)
        GTEST_SKIP() << "needs root to make a device node";
    std::ofstream(dir / "plain") << "";
    fs::create_symlink(dir / "pts-7", aliases + "/COM7");
    fs::create_symlink(dir / "plain", aliases + "/COM2");
    fs::create_symlink(dir / "pts-7", aliases + "/COM101");
    fs::create_symlink(dir / "pts-7", aliases + "/COM33");
    fs::create_symlink(dir / "pts-7", aliases + "/COM100");
    fs::create_symlink(dir / "gone", aliases + "/COM34");
    struct Case {
        const char* devicePath;
        std::string aliasDir;
        std::string resolved;
    };
    const Case cases[] = {
        {"\\\\.\\COM7", aliases, aliases + "/COM7"},
        {"\\\\.\\COM33", aliases, aliases + "/COM33"},
        {"\\\\.\\COM100", aliases, aliases + "/COM100"},
        // An alias that leads to nothing keeps its number: never the kernel device's.
        {"\\\\.\\COM34", aliases, ""},
        {"\\\\.\\COM1", aliases, "/dev/ttyS0"},
        // The alias rule: a plain file is no port, and no port is numbered above 100.
        {"\\\\.\\COM2", aliases, ""},
        {"\\\\.\\COM101", aliases, ""},
        {"\\\\.\\COM65", aliases, "/dev/ttyACM0"},
        {"\\\\.\\COM33", "", "/dev/ttyUSB0"},
        {"\\\\.\\COM7", "", "/dev/ttyS6"},
        {"\\\\.\\COM97", aliases, ""},
        {"\\\\.\\COM0", aliases, ""},
        {"\\\\.\\NUL", aliases, ""},
        {"/dev/pts/3", aliases, "/dev/pts/3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.devicePath) + " with aliases in \"" + c.aliasDir + "\"");
        EXPECT_EQ(ResolveDevicePath(c.devicePath, c.aliasDir), c.resolved);
    }
}

}  // namespace

namespace {

// The no-access hint's facts, on a file of each owner and mode (the tests run as root, in no
// group but root's).
TEST(LinuxDevicePath, AccessNamesAGroupOnlyWhereJoiningItHelps) {
    const group* dialout = getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    if (getuid() != 0) GTEST_SKIP() << "changing a file's owner needs root";
    const struct {
        mode_t mode;
        gid_t gid;
        PortAccess access;
    } cases[] = {
        {0600, 0, {"", false, true, "600"}},                        // a motherboard port
        {0660, dialout->gr_gid, {"dialout", false, false, "660"}},  // a USB adapter
        {0620, 5, {"", false, true, "620"}},                        // a getty's port (root:tty)
        {0660, 0, {"", false, true, "660"}},  // root's group: no hint to join it
        {0666, 0, {"", false, false, "666"}},
    };
    TempDir dir;
    const std::string device = dir / "ttyX";
    std::ofstream(device).put('\n');
    for (const auto& c : cases) {
        SCOPED_TRACE(c.access.mode);
        ASSERT_EQ(chown(device.c_str(), 0, c.gid), 0);
        ASSERT_EQ(chmod(device.c_str(), c.mode), 0);
        const PortAccess access = AccessOf(device);
        EXPECT_EQ(access.group, c.access.group);
        EXPECT_EQ(access.rootOnly, c.access.rootOnly);
        EXPECT_EQ(access.mode, c.access.mode);
        EXPECT_FALSE(access.udevRule);  // no CP210x
    }
    EXPECT_EQ(AccessOf(dir / "none").mode, "");
}

}  // namespace
