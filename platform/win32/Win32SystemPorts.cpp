#include <windows.h>

#include <cctype>

#include "platform/ComPorts.h"
#include "platform/SystemPorts.h"

std::string DevicePathOfPort(int32_t port) { return "COM" + std::to_string(port); }

int32_t PortOfDevicePath(const std::string& path) {
    std::string name = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
    if (name.size() < 4 || name.size() > 6) return 0;
    for (size_t i = 0; i < 3; ++i) name[i] = static_cast<char>(std::toupper(name[i]));
    if (name.compare(0, 3, "COM") != 0 || name[3] == '0') return 0;
    int32_t port = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        port = port * 10 + (name[i] - '0');
    }
    return IsComNumber(port) ? port : 0;
}

// A port another program has open is refused as access denied.
bool IsPortInUse(int32_t code) {
    return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION;
}

bool IsNoSuchPort(int32_t code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool IsNoAccess(int32_t) { return false; }

bool IsPortGone(int32_t code) {
    return code == ERROR_GEN_FAILURE || code == ERROR_BAD_COMMAND ||
           code == ERROR_DEVICE_NOT_CONNECTED || code == ERROR_DEVICE_REMOVED;
}

// Every port the reader opens on Windows is a COM port.
bool IsNotASerialLine(int32_t) { return false; }

PortAccess AccessOf(const std::string&) { return {}; }

FolderProblem AliasFolderProblem() { return {}; }

std::vector<std::string> OtherHoldersOf(const std::string&) { return {}; }

PortWhere WhereIs(int32_t) { return {}; }
