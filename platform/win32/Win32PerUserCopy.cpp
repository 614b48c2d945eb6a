#include "platform/win32/Win32PerUserCopy.h"

#include <cstdlib>
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

// A token fact of a fixed size; false when the system cannot tell it.
template <typename Fact>
bool TokenFact(HANDLE token, TOKEN_INFORMATION_CLASS which, Fact& fact) {
    DWORD size = 0;
    return GetTokenInformation(token, which, &fact, sizeof fact, &size) != FALSE;
}

bool IsLocalSystem(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return false;
    return IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid,
                          WinLocalSystemSid) != FALSE;
}

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

ProcessKind ProcessKindOfToken() {
    // Wine has no UAC: its processes are taken as a standard user's, or, for the Windows
    // suite, as one that Windows does not virtualize.
    if (UnderWine())
        return std::getenv("QUENLOR_TEST_NOT_VIRTUALIZED") != nullptr ? ProcessKind::kNotVirtualized
                                                                      : ProcessKind::kStandard;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return ProcessKind::kStandard;
    ProcessKind kind = ProcessKind::kStandard;
    TOKEN_ELEVATION elevation{};
    DWORD allowed = 1;
    if (TokenFact(token, TokenElevation, elevation) && elevation.TokenIsElevated != 0)
        kind = ProcessKind::kElevated;
    else if (IsLocalSystem(token))
        kind = ProcessKind::kSystem;
    else if (TokenFact(token, TokenVirtualizationAllowed, allowed) && allowed == 0)
        kind = ProcessKind::kNotVirtualized;
    CloseHandle(token);
    return kind;
}

}  // namespace

ProcessKind ThisProcessKind() {
    // The token does not change while the process runs.
    static const ProcessKind kind = ProcessKindOfToken();
    return kind;
}

std::wstring PerUserCopyOf(const std::wstring& path) {
    return PerUserCopyPath(path, WindowsDirectory(), LocalAppData());
}
