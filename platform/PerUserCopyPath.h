// Where Windows keeps this user's own copy of a file in the Windows directory, for a program
// that it virtualizes: <Local AppData>\VirtualStore\Windows\<the rest of the path>. A rule on
// strings alone, so that it is checked on every system; the settings file's calls on Windows
// use it (platform/win32/Win32PerUserCopy.h).
#pragma once

#include <string>

// The copy's path for path under windowsDirectory, else empty. windowsDirectory and
// localAppData carry no separator at their end. The directory's name is compared without
// regard to the case of ASCII letters; other characters must match exactly.
std::wstring PerUserCopyPath(const std::wstring& path, const std::wstring& windowsDirectory,
                             const std::wstring& localAppData);
