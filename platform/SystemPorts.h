// How the system names the serial ports and what its port errors mean, for the reader's
// records and messages. One file per system, chosen by the build.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The system's path of COM<port>: "/dev/ttyUSB0" (an alias followed to its device), "COM5".
std::string DevicePathOfPort(int32_t port);

// The COM number whose port is this device path or port name; 0 when none is.
int32_t PortOfDevicePath(const std::string& path);

// The port's open failed because there is no such device (yet): nothing is plugged in.
bool IsNoSuchPort(int32_t systemCode);

// The port's open failed because another program holds it.
bool IsPortInUse(int32_t systemCode);

// The user may not open the port: on Linux, not in the group that owns it.
bool IsNoAccess(int32_t systemCode);

// The port went away while it was in use: its adapter was unplugged (the tty hangs up).
bool IsPortGone(int32_t systemCode);

// The device opened is no serial line (/dev/null): it has no line settings.
bool IsNotASerialLine(int32_t systemCode);

// Who may open a device, for the no-access hint, where it helps: the group to join (it
// owns the device, may read and write it, is not root's, and the user is not in it);
// whether only root may open it, with its mode ("600"); and whether the device is a
// CP210x's and the package's udev rule, which gives those adapters to the user at the PC,
// is installed. All empty where the system has no such thing.
struct PortAccess {
    std::string group;
    bool udevRule = false;
    bool rootOnly = false;
    std::string mode;
};
PortAccess AccessOf(const std::string& device);

// The port alias folder when it cannot be used (the user may not enter it): its path and
// the system's code, for a notice that the ports are read without aliases. An empty path
// when it can be used, or the system has none (Windows).
struct FolderProblem {
    std::string folder;
    int32_t code = 0;
};
FolderProblem AliasFolderProblem();

// Where a COM number leads, for messages: an alias and its target as the link says it
// ("/dev/serial/by-id/usb-..."), or the kernel device of the number; both empty where the
// system shows none (Windows).
struct PortWhere {
    enum class State { Present, Absent, NotADevice };
    std::string alias;   // the alias file; empty when the number is no alias's
    std::string target;  // where the alias leads, or the kernel device
    State state = State::Present;
    bool folder = false;  // NotADevice: the alias leads to a folder, not a file
};
PortWhere WhereIs(int32_t port);

// The other programs that hold a device open, as "socat (pid 4242)": one that reads it
// without a lock would take the unit's answers. Empty where the system does not tell
// (Windows, whose ports open for one program only) or shows no other.
std::vector<std::string> OtherHoldersOf(const std::string& device);
