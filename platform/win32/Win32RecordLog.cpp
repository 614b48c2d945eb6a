// The record log on Windows: CreateFileA shared for reading, writing and deletion (so log
// rotation can rename or delete it between two records), LockFileEx over the whole file
// without waiting (a lock or an open that does not share writing is kLocked),
// one WriteFile at the end, FlushFileBuffers; a write that fails is undone with
// SetEndOfFile at the old size.
#include <string>

#include "platform/RecordLog.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace record_log {

namespace {

HANDLE OpenLog(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

int32_t Code() {
    const DWORD code = GetLastError();
    if (code == ERROR_INVALID_NAME) return kNotRegularFile;
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return kLocked;
    return static_cast<int32_t>(code != 0 ? code : ERROR_WRITE_FAULT);
}

bool MoveTo(HANDLE file, LONGLONG offset) {
    LARGE_INTEGER at;
    at.QuadPart = offset;
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

bool WriteAll(HANDLE file, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        DWORD put = 0;
        if (!WriteFile(file, text.data() + done, static_cast<DWORD>(text.size() - done), &put,
                       nullptr))
            return false;
        if (put == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        done += put;
    }
    return true;
}

}  // namespace

int32_t Check(const std::string& path) {
    HANDLE file = OpenLog(path);
    if (file == INVALID_HANDLE_VALUE) return Code();
    CloseHandle(file);
    return 0;
}

int32_t Append(const std::string& path, const std::string& header, const std::string& record,
               const std::string& lineEnd) {
    HANDLE file = OpenLog(path);
    if (file == INVALID_HANDLE_VALUE) return Code();
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                    MAXDWORD, &whole)) {
        const int32_t code = Code();
        CloseHandle(file);
        return code;
    }
    int32_t code = 0;
    LARGE_INTEGER size{};
    std::string text;
    if (!GetFileSizeEx(file, &size)) {
        code = Code();
    } else if (size.QuadPart == 0) {
        text = header;
    } else {
        char last = 0;
        DWORD got = 0;
        if (!MoveTo(file, size.QuadPart - 1) || !ReadFile(file, &last, 1, &got, nullptr))
            code = Code();
        else if (got == 1 && last == '\r' && lineEnd.rfind('\r', 0) == 0)
            text = lineEnd.substr(1);  // cut between CR and LF: only the LF is missing
        else if (got != 1 || last != '\n')
            text = lineEnd;
    }
    if (code == 0) {
        text += record;
        if (!MoveTo(file, size.QuadPart) || !WriteAll(file, text) || !FlushFileBuffers(file)) {
            code = Code();
            // Nothing of a record that is not whole on the disk stays in the log.
            if (MoveTo(file, size.QuadPart) && SetEndOfFile(file)) FlushFileBuffers(file);
        }
    }
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(file);
    return code;
}

}  // namespace record_log
