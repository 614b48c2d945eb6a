// Where Windows keeps this user's own copy of a file in the Windows directory, for a program
// that it virtualizes: <Local AppData>\VirtualStore\Windows\<the rest of the path>; and which
// of the two files a read or a write of the settings file uses. Rules on values alone, so
// that they are checked on every system; the settings file's calls on Windows use them
// (platform/win32/Win32PerUserCopy.h, Win32FileAccess.cpp).
#pragma once

#include <string>

// The copy's path for path under windowsDirectory, else empty. windowsDirectory and
// localAppData carry no separator at their end. The directory's name is compared without
// regard to the case of ASCII letters; other characters must match exactly.
std::wstring PerUserCopyPath(const std::wstring& path, const std::wstring& windowsDirectory,
                             const std::wstring& localAppData);

// How Windows treats this process's files in the Windows directory. Only a process that it
// would virtualize (a standard user, or an administrator without elevation) sees the copy;
// an elevated process, LocalSystem and a token that may not be virtualized see the Windows
// directory's file alone.
enum class ProcessKind { kStandard, kElevated, kSystem, kNotVirtualized };

enum class SettingsPlace { kWindowsDirectory, kPerUserCopy };

// What a call does with the file: reads it (or asks whether there is one), writes a new
// value, or writes back the value it has just read.
enum class FileUse { kRead, kNewValue, kWriteBack };

struct FilePlan {
    SettingsPlace place;  // the file read, or written first
    bool found;           // kRead: a file stands at place
    bool copyIfRefused;   // a write that the Windows directory refuses for lack of rights goes
                          // to the copy
    bool removeCopy;      // a write that lands in the Windows directory then removes the copy;
                          // a copy that cannot go takes the new value too
};

// A new value goes to the Windows directory first; a written-back value goes where it was
// read from, so that one user's copy never reaches the Windows directory, where every user
// would read it.
FilePlan PlanFileUse(ProcessKind process, FileUse use, bool windowsFile, bool copy);
