#include "platform/posix/LinuxDevicePath.h"

#include <sys/stat.h>

#include <array>
#include <string_view>

#include "platform/ComPorts.h"

namespace {

struct KernelFamily {
    std::string_view prefix;
    int firstComNumber;
};

// Each family owns 32 numbers, so a device keeps its number whatever else is plugged in.
constexpr std::array<KernelFamily, 3> kFamilies{{
    {"ttyS", 1},
    {"ttyUSB", 33},
    {"ttyACM", 65},
}};
constexpr int kFamilySize = 32;

constexpr std::string_view kWin32DevicePrefix = "\\\\.\\";
constexpr std::string_view kComPrefix = "COM";

// A decimal number without sign or leading zero, as the kernel and Windows write them, so
// each number has one spelling only; -1 for anything else (nine digits at most).
int ParseCanonicalNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 9 || (digits.size() > 1 && digits.front() == '0'))
        return -1;
    int number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
    }
    return number;
}

}  // namespace

int ComNumberForKernelName(const std::string& kernelName) {
    std::string_view name = kernelName;
    for (const KernelFamily& family : kFamilies) {
        if (!name.starts_with(family.prefix)) continue;
        int k = ParseCanonicalNumber(name.substr(family.prefix.size()));
        if (k >= 0 && k < kFamilySize) return family.firstComNumber + k;
    }
    return 0;
}

std::string KernelNameForComNumber(int comNumber) {
    for (const KernelFamily& family : kFamilies) {
        int k = comNumber - family.firstComNumber;
        if (k >= 0 && k < kFamilySize) return std::string(family.prefix) + std::to_string(k);
    }
    return std::string();
}

int ComNumberOfDevicePath(const std::string& devicePath) {
    std::string_view path = devicePath;
    if (path.starts_with(kWin32DevicePrefix)) path.remove_prefix(kWin32DevicePrefix.size());
    if (!path.starts_with(kComPrefix)) return 0;
    int number = ParseCanonicalNumber(path.substr(kComPrefix.size()));
    return number > 0 ? number : 0;
}

AliasVerdict JudgeAlias(const std::string& aliasDir, const std::string& fileName) {
    if (!std::string_view(fileName).starts_with(kComPrefix)) return AliasVerdict::NotComName;
    const int number = ParseCanonicalNumber(std::string_view(fileName).substr(kComPrefix.size()));
    if (number < 0) return AliasVerdict::NotComName;
    if (!IsComNumber(number)) return AliasVerdict::NumberOutOfRange;
    struct stat target{};
    if (stat((aliasDir + "/" + fileName).c_str(), &target) != 0) return AliasVerdict::Dangling;
    return S_ISCHR(target.st_mode) ? AliasVerdict::Port : AliasVerdict::NotCharacterDevice;
}

const char* AliasVerdictText(AliasVerdict verdict) {
    switch (verdict) {
        case AliasVerdict::Port:
            return "";
        case AliasVerdict::NotComName:
            return "not named COM1 to COM100";
        case AliasVerdict::NumberOutOfRange:
            return "number outside 1 to 100";
        case AliasVerdict::Dangling:
            return "leads to nothing";
        case AliasVerdict::NotCharacterDevice:
            return "leads to no character device";
    }
    return "";
}

std::string ResolveDevicePath(const std::string& devicePath, const std::string& aliasDir) {
    // A device the user named by its path (a pty, a Bluetooth tty) is opened as named.
    if (devicePath.starts_with('/')) return devicePath;
    const int number = ComNumberOfDevicePath(devicePath);
    if (!IsComNumber(number)) return std::string();
    const std::string aliasName = std::string(kComPrefix) + std::to_string(number);
    // An alias owns its number even when it leads to no port (its adapter unplugged): the
    // open then fails as for a missing port, rather than reach another device of that number.
    struct stat entry{};
    if (!aliasDir.empty() && lstat((aliasDir + "/" + aliasName).c_str(), &entry) == 0) {
        if (JudgeAlias(aliasDir, aliasName) != AliasVerdict::Port) return std::string();
        return aliasDir + "/" + aliasName;
    }
    std::string kernelName = KernelNameForComNumber(number);
    return kernelName.empty() ? std::string() : "/dev/" + kernelName;
}
