// The settings directory on Windows: the Windows directory, as the settings file has always
// lived there.
#include <string>
#include <vector>

#include "platform/FileError.h"
#include "platform/SettingsDirectory.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

[[noreturn]] void ThrowNoWindowsDirectory() {
    throw FileError("Impossible de trouver le répertoire Windows (erreur " +
                    std::to_string(GetLastError()) + ")");
}

}  // namespace

std::string SettingsDirectory() {
    // Asked with no buffer, the call gives the room the path needs, its final zero included.
    UINT size = GetWindowsDirectoryA(nullptr, 0);
    if (size == 0) ThrowNoWindowsDirectory();
    std::vector<char> buffer(size);
    UINT length = GetWindowsDirectoryA(buffer.data(), size);
    // A result not below the size offered means the path no longer fits.
    if (length == 0 || length >= size) ThrowNoWindowsDirectory();
    return std::string(buffer.data(), length);
}

char PathSeparator() { return '\\'; }

// Windows has no port aliases of the program's own: COM numbers come from the drivers.
std::string PortAliasDirectory() { return std::string(); }

const char* SettingsFilesHelp() {
    return "  %WINDIR%\\QuenlorV1.CFG   the language, in the Windows directory\n"
           "  %LOCALAPPDATA%\\VirtualStore\\Windows\\QuenlorV1.CFG\n"
           "      this user's copy, read first, written when the Windows directory refuses\n"
           "      (not seen by a program run as administrator)\n"
           "  HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM   the COM ports, from the registry\n";
}
