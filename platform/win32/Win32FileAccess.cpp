// The settings file's calls on Windows: CreateFileA without sharing, so a file that another
// program holds open cannot be opened or created, and a read-only file cannot be created over.
#include "platform/FileAccess.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace file_access {

namespace {

HANDLE ToWin32(Handle file) { return reinterpret_cast<HANDLE>(file); }

Handle Create(const std::string& path, DWORD access, DWORD disposition) {
    HANDLE file =
        CreateFileA(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<Handle>(file);
}

}  // namespace

bool Exists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

Handle OpenExisting(const std::string& path) { return Create(path, GENERIC_READ, OPEN_EXISTING); }

Handle CreateAlways(const std::string& path) {
    return Create(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
}

bool Read(Handle file, char* buffer, uint32_t length, uint32_t& count) {
    DWORD got = 0;
    BOOL ok = ReadFile(ToWin32(file), buffer, length, &got, nullptr);
    count = ok ? got : 0;
    return ok != FALSE;
}

bool Write(Handle file, const char* buffer, uint32_t length, uint32_t& count) {
    DWORD put = 0;
    BOOL ok = WriteFile(ToWin32(file), buffer, length, &put, nullptr);
    count = ok ? put : 0;
    return ok != FALSE;
}

void Close(Handle file) {
    // INVALID_HANDLE_VALUE also stands for the current process; never hand it to CloseHandle.
    if (file != kInvalidFile) CloseHandle(ToWin32(file));
}

}  // namespace file_access
