#include "platform/win32/Win32PerUserCopy.h"

#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

namespace {

std::wstring WindowsDirectory() {
    const UINT size = GetWindowsDirectoryW(nullptr, 0);
    if (size == 0) return std::wstring();
    std::vector<wchar_t> buffer(size);
    const UINT length = GetWindowsDirectoryW(buffer.data(), size);
    if (length == 0 || length >= size) return std::wstring();
    return std::wstring(buffer.data(), length);
}

std::wstring LocalAppData() {
    PWSTR folder = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder)))
        result = folder;
    CoTaskMemFree(folder);
    return result;
}

}  // namespace

std::wstring PerUserCopyOf(const std::wstring& path) {
    return PerUserCopyPath(path, WindowsDirectory(), LocalAppData());
}
