// The Linux port table against a fake sysfs tree and alias folder in a temporary directory,
// read through the same calls discovery makes.
#include "platform/posix/LinuxPortTable.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/PortDiscovery.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

using Values = std::vector<std::pair<std::string, std::string>>;  // name, data

// A character device node that no driver serves (an alias must lead to a character
// device); making one needs root, as CI runs.
bool MakeDeviceNode(const std::string& path) {
    return mknod(path.c_str(), S_IFCHR | 0600, makedev(240, 0)) == 0;
}

bool CanMakeDeviceNodes() {
    TempDir dir;
    return MakeDeviceNode(dir / "node");
}

// Every value of a table, read as discovery reads it.
Values ReadTable(PortTable& table) {
    Values values;
    uint32_t count = 0;
    uint32_t longest = 0;
    EXPECT_TRUE(table.KeyExists());
    EXPECT_TRUE(table.Open());
    EXPECT_TRUE(table.QueryInfo(count, longest));
    for (uint32_t index = 0; index < count; ++index) {
        std::string name;
        EXPECT_TRUE(table.EnumValueName(index, longest + 1, name));
        uint32_t type = 0;
        EXPECT_TRUE(table.QueryValueType(name, type));
        EXPECT_EQ(type, kRegSz);
        std::string data;
        EXPECT_TRUE(table.QueryValueData(name, data));
        values.emplace_back(name, data);
    }
    table.Close();
    return values;
}

// A machine's tty class in sysfs, its /dev and the user's alias folder, all made up.
class FakeMachine {
public:
    FakeMachine() {
        fs::create_directories(SysRoot() + "/class/tty");
        fs::create_directories(AliasDir());
        fs::create_directories(dir_ / "dev/serial/by-id");
    }

    std::string SysRoot() const { return dir_ / "sys"; }
    std::string AliasDir() const { return dir_ / "ports"; }
    std::string Dev(const std::string& name) const { return dir_ / ("dev/" + name); }

    // A tty node as the kernel shows it: its class entry links to the node, whose "device"
    // links to the hardware, whose "driver" links to the bound driver. An empty driver
    // leaves the hardware unbound; no device at all is a virtual tty (console, pty).
    void AddTty(const std::string& name, std::optional<std::string> driver,
                std::optional<std::string> type = std::nullopt) {
        fs::path sys = SysRoot();
        fs::path node;
        if (driver) {
            fs::path hardware = sys / "devices/pci0000:00" / (name + "-port");
            node = hardware / "tty" / name;
            fs::create_directories(node);
            fs::create_directory_symlink("../..", node / "device");
            if (!driver->empty()) {
                fs::create_directories(sys / "bus/serial/drivers" / *driver);
                fs::create_directory_symlink(
                    fs::relative(sys / "bus/serial/drivers" / *driver, hardware),
                    hardware / "driver");
            }
        } else {
            node = sys / "devices/virtual/tty" / name;
            fs::create_directories(node);
        }
        if (type) std::ofstream(node / "type") << *type << "\n";
        fs::create_directory_symlink(fs::relative(node, sys / "class/tty"),
                                     sys / "class/tty" / name);
        MakeDeviceNode(Dev(name));
    }

    // The device unplugged: its class entry, its hardware and its node go.
    void RemoveTty(const std::string& name) {
        fs::path sys = SysRoot();
        fs::remove(sys / "class/tty" / name);
        fs::remove_all(sys / "devices/pci0000:00" / (name + "-port"));
        fs::remove_all(sys / "devices/virtual/tty" / name);
        fs::remove(Dev(name));
    }

    void AddAlias(const std::string& name, const std::string& target) {
        fs::create_symlink(target, fs::path(AliasDir()) / name);
    }

    LinuxPortTable Table() const { return LinuxPortTable(SysRoot(), AliasDir()); }

private:
    TempDir dir_;
};

// The master side of a pseudo-terminal, closed with the test.
class PtyMaster {
public:
    PtyMaster() : fd_(posix_openpt(O_RDWR | O_NOCTTY)) {}
    ~PtyMaster() {
        if (fd_ >= 0) close(fd_);
    }
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;

    // "/dev/pts/<n>"; empty when no pseudo-terminal could be had.
    std::string SlavePath() const {
        if (fd_ < 0 || unlockpt(fd_) != 0) return std::string();
        const char* path = ptsname(fd_);
        return path != nullptr ? path : std::string();
    }

private:
    int fd_;
};

struct TtySpec {
    std::string name;
    std::optional<std::string> driver;
    std::optional<std::string> type = std::nullopt;
};

struct AliasSpec {
    std::string name;
    std::string target;  // under the fake /dev unless absolute
};

struct TableCase {
    const char* what;
    std::vector<TtySpec> ttys;
    std::vector<AliasSpec> aliases;
    Values values;
};

const char* const kById = "serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0";

const TableCase kTableCases[] = {
    {"the Silicon Labs adapter is a Silabser device",
     {{"ttyUSB0", "cp210x"}},
     {},
     {{"\\Device\\Silabser0", "COM33"}}},
    {"an FTDI adapter keeps its driver's name",
     {{"ttyUSB0", "ftdi_sio"}},
     {},
     {{"\\Device\\ftdi_sio0", "COM33"}}},
    {"a modem-class device keeps its driver's name",
     {{"ttyACM0", "cdc_acm"}},
     {},
     {{"\\Device\\cdc_acm0", "COM65"}}},
    {"UART placeholders of type 0 are dropped",
     {{"ttyS0", "serial8250", "4"}, {"ttyS1", "serial8250", "0"}, {"ttyS2", "serial8250", "0"}},
     {},
     {{"\\Device\\serial82500", "COM1"}}},
    {"a UART without a type attribute is dropped",
     {{"ttyS0", "serial8250"}, {"ttyS3", "serial8250", "4"}},
     {},
     {{"\\Device\\serial82500", "COM4"}}},
    {"consoles, pseudo-terminals and unbound devices are dropped",
     {{"console", std::nullopt},
      {"tty1", std::nullopt},
      {"ptmx", std::nullopt},
      {"ttyUSB0", ""},
      {"ttyACM0", "cdc_acm"}},
     {},
     {{"\\Device\\cdc_acm0", "COM65"}}},
    {"devices of one driver counted in kernel order",
     {{"ttyUSB10", "cp210x"},
      {"ttyUSB1", "cp210x"},
      {"ttyUSB2", "ftdi_sio"},
      {"ttyUSB0", "cp210x"}},
     {},
     {{"\\Device\\Silabser0", "COM33"},
      {"\\Device\\Silabser1", "COM34"},
      {"\\Device\\ftdi_sio0", "COM35"},
      {"\\Device\\Silabser2", "COM43"}}},
    {"devices the numbering rule does not cover are dropped",
     {{"ttyUSB32", "cp210x"}, {"ttyAMA0", "uart-pl011", "1"}, {"ttyS31", "serial8250", "4"}},
     {},
     {{"\\Device\\serial82500", "COM32"}}},
    {"an alias through a by-id link names the adapter behind it",
     {{"ttyUSB0", "cp210x"}},
     {{"COM5", kById}},
     {{"\\Device\\Silabser0", "COM5"}}},
    {"an alias takes the number from the kernel device that claims it",
     {{"ttyUSB0", "cp210x"}, {"ttyUSB1", "ftdi_sio"}},
     {{"COM33", "ttyUSB1"}},
     {{"\\Device\\ftdi_sio0", "COM33"}}},
    {"an alias to a device with no hardware in sysfs",
     {{"ttyS0", "serial8250", "4"}},
     {{"COM12", "ttyV0"}},
     {{"\\Device\\serial82500", "COM1"}, {"\\Device\\ttyV0", "COM12"}}},
    {"a dangling alias is dropped and keeps its number from the kernel device",
     {{"ttyUSB0", "cp210x"}, {"ttyUSB1", "cp210x"}},
     {{"COM33", "ttyUSB7"}, {"COM9", "ttyUSB9"}},
     {{"\\Device\\Silabser1", "COM34"}}},
    {"of two aliases to one device the lower number stays",
     {{"ttyACM0", "cdc_acm"}},
     {{"COM8", "ttyACM0"}, {"COM6", "ttyACM0"}},
     {{"\\Device\\cdc_acm0", "COM6"}}},
    {"only links named COM<n> are aliases",
     {{"ttyV0", std::nullopt}},
     {{"com4", "ttyV0"},
      {"COM04", "ttyV0"},
      {"COM0", "ttyV0"},
      {"COMx", "ttyV0"},
      {"COM4.bak", "ttyV0"},
      {"COM4", "ttyV0"}},
     {{"\\Device\\ttyV0", "COM4"}}},
    {"an alias to a folder is dropped", {}, {{"COM3", "serial"}}, {}},
    {"an alias to a plain file is dropped and keeps its number",
     {{"ttyS0", "serial8250", "4"}},
     {{"COM1", "plain"}},
     {}},
    {"values come in COM number order",
     {{"ttyACM0", "cdc_acm"}, {"ttyS0", "serial8250", "4"}, {"ttyUSB0", "cp210x"}},
     {{"COM40", "ttyV1"}},
     {{"\\Device\\serial82500", "COM1"},
      {"\\Device\\Silabser0", "COM33"},
      {"\\Device\\ttyV1", "COM40"},
      {"\\Device\\cdc_acm0", "COM65"}}},
};

TEST(LinuxPortTable, ListsTheKernelPortsAndTheAliases) {
    if (!CanMakeDeviceNodes()) GTEST_SKIP() << "needs root to make device nodes";
    for (const TableCase& c : kTableCases) {
        SCOPED_TRACE(c.what);
        FakeMachine machine;
        for (const TtySpec& tty : c.ttys) machine.AddTty(tty.name, tty.driver, tty.type);
        MakeDeviceNode(machine.Dev("ttyV0"));
        MakeDeviceNode(machine.Dev("ttyV1"));
        fs::create_symlink("../../ttyUSB0", machine.Dev(kById));
        std::ofstream(machine.Dev("plain")) << "";
        for (const AliasSpec& alias : c.aliases)
            machine.AddAlias(alias.name, machine.Dev(alias.target));
        LinuxPortTable table = machine.Table();
        EXPECT_EQ(ReadTable(table), c.values);
    }
}

TEST(LinuxPortTable, AnAliasThatIsNoLinkIsNoAlias) {
    FakeMachine machine;
    std::ofstream(fs::path(machine.AliasDir()) / "COM4") << "/dev/ttyS0";
    LinuxPortTable table = machine.Table();
    EXPECT_EQ(ReadTable(table), Values{});
}

TEST(LinuxPortTable, PseudoTerminalAliasesArePtyDevices) {
    // Two real pseudo-terminals, as the simulator opens them.
    PtyMaster first;
    PtyMaster second;
    ASSERT_FALSE(first.SlavePath().empty());
    ASSERT_FALSE(second.SlavePath().empty());
    const std::string firstPath = first.SlavePath();
    const std::string secondPath = second.SlavePath();

    FakeMachine machine;
    machine.AddTty("ttyUSB0", "cp210x");
    machine.AddAlias("COM7", secondPath);
    machine.AddAlias("COM20", firstPath);
    LinuxPortTable table = machine.Table();
    Values values = ReadTable(table);

    // Pseudo-terminals are counted in their kernel order, whatever their COM numbers.
    const bool firstIsLower = std::stoi(firstPath.substr(9)) < std::stoi(secondPath.substr(9));
    const Values expected = {
        {firstIsLower ? "\\Device\\pty1" : "\\Device\\pty0", "COM7"},
        {firstIsLower ? "\\Device\\pty0" : "\\Device\\pty1", "COM20"},
        {"\\Device\\Silabser0", "COM33"},
    };
    EXPECT_EQ(values, expected);
}

TEST(LinuxPortTable, NumbersStayWhenDevicesComeAndGo) {
    if (!CanMakeDeviceNodes()) GTEST_SKIP() << "needs root to make device nodes";
    FakeMachine machine;
    machine.AddTty("ttyUSB0", "ftdi_sio");
    machine.AddTty("ttyUSB1", "cp210x");
    LinuxPortTable table = machine.Table();
    EXPECT_EQ(ReadTable(table),
              (Values{{"\\Device\\ftdi_sio0", "COM33"}, {"\\Device\\Silabser0", "COM34"}}));

    machine.RemoveTty("ttyUSB0");
    EXPECT_EQ(ReadTable(table), (Values{{"\\Device\\Silabser0", "COM34"}}));

    machine.AddTty("ttyUSB0", "cp210x");
    EXPECT_EQ(ReadTable(table),
              (Values{{"\\Device\\Silabser0", "COM33"}, {"\\Device\\Silabser1", "COM34"}}));
}

TEST(LinuxPortTable, OpenTakesASnapshot) {
    if (!CanMakeDeviceNodes()) GTEST_SKIP() << "needs root to make device nodes";
    FakeMachine machine;
    machine.AddTty("ttyUSB0", "cp210x");
    LinuxPortTable table = machine.Table();
    uint32_t count = 0;
    uint32_t longest = 0;
    EXPECT_FALSE(table.QueryInfo(count, longest)) << "information before the key is open";

    ASSERT_TRUE(table.Open());
    machine.RemoveTty("ttyUSB0");
    machine.AddTty("ttyACM0", "cdc_acm");
    ASSERT_TRUE(table.QueryInfo(count, longest));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(longest, std::string("\\Device\\Silabser0").size());
    std::string name;
    EXPECT_FALSE(table.EnumValueName(0, longest, name)) << "no room for the closing zero";
    ASSERT_TRUE(table.EnumValueName(0, longest + 1, name));
    EXPECT_EQ(name, "\\Device\\Silabser0");
    EXPECT_FALSE(table.EnumValueName(1, longest + 1, name));
    uint32_t type = 0;
    std::string data;
    EXPECT_FALSE(table.QueryValueType("\\Device\\cdc_acm0", type));
    EXPECT_FALSE(table.QueryValueData("\\Device\\cdc_acm0", data));
    table.Close();
    EXPECT_FALSE(table.QueryValueData("\\Device\\Silabser0", data)) << "data after Close";

    EXPECT_EQ(ReadTable(table), (Values{{"\\Device\\cdc_acm0", "COM65"}}));
}

TEST(LinuxPortTable, MissingFoldersGiveAnEmptyTable) {
    TempDir dir;
    LinuxPortTable table(dir / "no-sys", dir / "no-ports");
    EXPECT_EQ(ReadTable(table), Values{});
    LinuxPortTable withoutAliases(dir / "no-sys", "");
    EXPECT_EQ(ReadTable(withoutAliases), Values{});
}

TEST(LinuxPortTable, DiscoveryMarksOnlyTheSiliconLabsAdapter) {
    if (!CanMakeDeviceNodes()) GTEST_SKIP() << "needs root to make device nodes";
    struct Case {
        const char* driver;
        const char* label;
        const char* device;
        bool adapter;
    };
    const Case cases[] = {
        {"cp210x", "COM34 : ORVANEX", "/dev/ttyUSB1", true},
        {"ftdi_sio", "COM1", "/dev/ttyS0", false},
        {"cdc_acm", "COM1", "/dev/ttyS0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver);
        FakeMachine machine;
        machine.AddTty("ttyS0", "serial8250", "4");
        machine.AddTty("ttyUSB1", c.driver);
        PortDiscovery discovery(std::make_unique<LinuxPortTable>(machine.Table()));
        EXPECT_TRUE(discovery.ScanPorts());
        ASSERT_GE(discovery.SelectedIndex, 0);
        EXPECT_EQ(discovery.PortLabels.at(discovery.SelectedIndex), c.label);
        EXPECT_EQ(discovery.PortDevices.at(discovery.SelectedIndex), c.device);
        EXPECT_EQ(discovery.IsAdapterPort(), c.adapter);
    }
}

// Each value's device file, and why each entry of the alias folder that is no port was
// left out, for p06-read --list and the port dialog's tooltips.
TEST(LinuxPortTable, TellsEachDeviceAndWhatWasLeftOut) {
    if (!CanMakeDeviceNodes()) GTEST_SKIP() << "needs root to make device nodes";
    FakeMachine machine;
    machine.AddTty("ttyUSB0", "cp210x");
    machine.AddTty("ttyS0", "serial8250", "4");
    MakeDeviceNode(machine.Dev("ttyV0"));
    std::ofstream(machine.Dev("plain")) << "";
    machine.AddAlias("COM5", machine.Dev("ttyV0"));
    machine.AddAlias("COM6", machine.Dev("ttyV0"));
    machine.AddAlias("COM101", machine.Dev("ttyV0"));
    machine.AddAlias("COM2", machine.Dev("plain"));
    machine.AddAlias("COM9", machine.Dev("gone"));
    machine.AddAlias("notes", machine.Dev("ttyV0"));
    LinuxPortTable table = machine.Table();
    ASSERT_TRUE(table.Open());
    EXPECT_EQ(table.ValueDevice("\\Device\\serial82500"), "/dev/ttyS0");
    EXPECT_EQ(table.ValueDevice("\\Device\\Silabser0"), "/dev/ttyUSB0");
    EXPECT_EQ(table.ValueDevice("\\Device\\ttyV0"), machine.Dev("ttyV0"));
    EXPECT_EQ(table.ValueDevice("\\Device\\nothing"), "");
    std::vector<std::string> leftOut = table.LeftOut();
    std::sort(leftOut.begin(), leftOut.end());
    const std::string dir = machine.AliasDir() + "/";
    EXPECT_EQ(leftOut,
              (std::vector<std::string>{
                  dir + "COM101: number outside 1 to 100",
                  dir + "COM2: leads to no character device",
                  dir + "COM9: leads to nothing",
                  dir + "notes: not named COM1 to COM100",
                  "COM6: " + machine.Dev("ttyV0") + " is already listed under another number",
              }));
    table.Close();
    EXPECT_EQ(table.ValueDevice("\\Device\\serial82500"), "") << "device after Close";
}

}  // namespace
