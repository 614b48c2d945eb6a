#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/ComPorts.h"
#include "platform/FileError.h"
#include "platform/SettingsDirectory.h"
#include "platform/SystemPorts.h"
#include "platform/posix/LinuxDevicePath.h"

namespace fs = std::filesystem;

namespace {

// The device numbers of the pseudo-terminals' far ends (/dev/pts/N).
constexpr unsigned kFirstPtyMajor = 136;
constexpr unsigned kLastPtyMajor = 143;

std::string AliasDirectory() {
    try {
        return PortAliasDirectory();
    } catch (const FileError&) {
        return {};  // no settings folder: no aliases, kernel devices still resolve
    }
}

}  // namespace

FolderProblem AliasFolderProblem() {
    try {
        PortAliasDirectory();
        return {};
    } catch (const FileError& error) {
        return {error.path(), error.code()};
    }
}

namespace {

// Whether the process may use what the group may: its own group or one of its others.
bool InGroup(gid_t gid) {
    if (getegid() == gid) return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = getgroups(count, groups.data());
    return std::find(groups.begin(), groups.begin() + std::max(got, 0), gid) !=
           groups.begin() + std::max(got, 0);
}

std::string Canonical(const std::string& path) {
    std::error_code error;
    const fs::path canonical = fs::canonical(path, error);
    return error ? std::string() : canonical.string();
}

}  // namespace

std::string DevicePathOfPort(int32_t port) {
    const std::string path =
        ResolveDevicePath("\\\\.\\COM" + std::to_string(port), AliasDirectory());
    // An alias that leads to nothing now: where it leads, never another device.
    if (path.empty()) return WhereIs(port).target;
    const std::string device = Canonical(path);
    return device.empty() ? path : device;
}

int32_t PortOfDevicePath(const std::string& path) {
    if (path.find('/') == std::string::npos) {
        const int number = ComNumberOfDevicePath(path);
        return IsComNumber(number) ? number : 0;
    }
    const std::string wanted = Canonical(path);
    if (wanted.empty()) return 0;
    for (int32_t port = kLowestComNumber; port <= kHighestComNumber; ++port) {
        if (Canonical(DevicePathOfPort(port)) == wanted) return port;
    }
    return 0;
}

bool IsNoSuchPort(int32_t code) { return code == ENOENT || code == ENODEV || code == ENXIO; }

bool IsPortInUse(int32_t code) { return code == EBUSY || code == EAGAIN || code == EWOULDBLOCK; }

bool IsNoAccess(int32_t code) { return code == EACCES || code == EPERM; }

bool IsPortGone(int32_t code) { return code == EIO || code == ENXIO || code == ENODEV; }

bool IsNotASerialLine(int32_t code) { return code == ENOTTY; }

PortAccess AccessOf(const std::string& device) {
    PortAccess access;
    struct stat status{};
    if (stat(device.c_str(), &status) != 0) return access;
    const mode_t mode = status.st_mode & 0777;
    char octal[8];
    std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode));
    access.mode = octal;
    const bool groupMayUse = (mode & 060) == 060 && status.st_gid != 0;
    const group* owner = getgrgid(status.st_gid);
    if (groupMayUse && !InGroup(status.st_gid) && owner != nullptr && owner->gr_name != nullptr)
        access.group = owner->gr_name;
    access.rootOnly = status.st_uid == 0 && !groupMayUse && (mode & 006) != 006;
    std::error_code error;
    const fs::path driver =
        fs::path("/sys/class/tty") / fs::path(Canonical(device)).filename() / "device/driver";
    const bool cp210x = fs::read_symlink(driver, error).filename() == "cp210x";
    for (const char* rules : {"/usr/lib/udev/rules.d", "/lib/udev/rules.d", "/etc/udev/rules.d"})
        access.udevRule =
            access.udevRule ||
            (cp210x && fs::exists(fs::path(rules) / "60-quenlor-cp210x.rules", error));
    return access;
}

// Whether a process's descriptor is the master of pseudo-terminal N: that process is the
// line's far end (p06-sim), not a rival reader.
bool IsMasterOf(const fs::path& fd, const fs::path& fdInfo, const std::string& ptyIndex) {
    std::error_code error;
    const std::string target = fs::read_symlink(fd, error).string();
    if (target != "/dev/ptmx" && target != "/dev/pts/ptmx") return false;
    std::ifstream info(fdInfo);
    for (std::string line; std::getline(info, line);)
        if (line.rfind("tty-index:", 0) == 0)
            return line.substr(line.find_first_not_of(" \t", 10)) == ptyIndex;
    return false;
}

// A tty, without opening it (an open raises DTR): the kernel files it in the tty class,
// or it is a pseudo-terminal's far end, which sysfs does not list.
bool IsTerminal(const std::string& device) {
    struct stat status{};
    if (stat(device.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return false;
    const unsigned type = major(status.st_rdev);
    if (type >= kFirstPtyMajor && type <= kLastPtyMajor) return true;
    std::error_code error;
    const fs::path subsystem = "/sys/dev/char/" + std::to_string(type) + ":" +
                               std::to_string(minor(status.st_rdev)) + "/subsystem";
    return fs::read_symlink(subsystem, error).filename() == "tty";
}

std::vector<std::string> OtherHoldersOf(const std::string& device) {
    std::vector<std::string> holders;
    const std::string wanted = Canonical(device);
    // Who else holds /dev/null says nothing about a serial line.
    if (wanted.empty() || !IsTerminal(wanted)) return holders;
    const std::string ptyIndex =
        wanted.rfind("/dev/pts/", 0) == 0 ? wanted.substr(9) : std::string();
    const std::string self = std::to_string(getpid());
    std::error_code error;
    // As fuser does: every process's open files, where this user may look.
    for (fs::directory_iterator process("/proc", error), end; !error && process != end;
         process.increment(error)) {
        const std::string pid = process->path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
        bool holds = false, farEnd = false;
        std::error_code fdError;
        for (fs::directory_iterator fd(process->path() / "fd", fdError), fdEnd;
             !fdError && fd != fdEnd; fd.increment(fdError)) {
            std::error_code linkError;
            holds = holds || fs::read_symlink(fd->path(), linkError).string() == wanted;
            farEnd = farEnd ||
                     (!ptyIndex.empty() &&
                      IsMasterOf(fd->path(), process->path() / "fdinfo" / fd->path().filename(),
                                 ptyIndex));
        }
        if (!holds || farEnd) continue;
        std::ifstream comm(process->path() / "comm");
        std::string name;
        std::getline(comm, name);
        holders.push_back((name.empty() ? "?" : name) + " (pid " + pid + ")");
    }
    return holders;
}

PortWhere WhereIs(int32_t port) {
    PortWhere where;
    const std::string aliasDir = AliasDirectory();
    const std::string name = "COM" + std::to_string(port);
    std::error_code error;
    const fs::path alias = fs::path(aliasDir) / name;
    if (!aliasDir.empty() && fs::is_symlink(alias, error)) {
        // The target as the link says it: the by-id name the user gave, not ttyUSB0.
        fs::path target = fs::read_symlink(alias, error);
        if (target.is_relative()) target = alias.parent_path() / target;
        where.alias = alias.string();
        where.target = target.lexically_normal().string();
        const AliasVerdict verdict = JudgeAlias(aliasDir, name);
        where.state = verdict == AliasVerdict::Port       ? PortWhere::State::Present
                      : verdict == AliasVerdict::Dangling ? PortWhere::State::Absent
                                                          : PortWhere::State::NotADevice;
        where.folder = fs::is_directory(target, error);
        return where;
    }
    const std::string kernelName = KernelNameForComNumber(port);
    if (kernelName.empty()) return where;
    where.target = "/dev/" + kernelName;
    struct stat status{};
    where.state = stat(where.target.c_str(), &status) != 0 ? PortWhere::State::Absent
                  : S_ISCHR(status.st_mode)                ? PortWhere::State::Present
                                                           : PortWhere::State::NotADevice;
    return where;
}
