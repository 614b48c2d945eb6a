#include <cerrno>
#include <filesystem>

#include "platform/ComPorts.h"
#include "platform/FileError.h"
#include "platform/SettingsDirectory.h"
#include "platform/SystemPorts.h"
#include "platform/posix/LinuxDevicePath.h"

namespace fs = std::filesystem;

namespace {

std::string AliasDirectory() {
    try {
        return PortAliasDirectory();
    } catch (const FileError&) {
        return {};  // no settings folder: no aliases, kernel devices still resolve
    }
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

std::string AccessHint() {
    return "add your user to the dialout group (sudo usermod -aG dialout $USER), then log in "
           "again";
}
