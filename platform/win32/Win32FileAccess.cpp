// The settings file's calls on Windows: CreateFileA without sharing, so a file that another
// program holds open cannot be opened or created, and a read-only file cannot be created over.
// Only disk files are opened: a pipe or a device at the path is refused.
//
// A created file is written to a temporary file beside it, which replaces the file
// (FlushFileBuffers, MoveFileExA) only once a write has gone through whole: a write that
// fails half-way leaves the file as it was, or absent on a first start.
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "platform/FileAccess.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace file_access {

namespace {

// A created file until its handle closes: the hold on the path and the file being written.
struct Creation {
    HANDLE hold = INVALID_HANDLE_VALUE;  // the settings file, unshared, until the replace
    std::string path;
    std::string tempPath;  // empty once it replaced the file
    bool created = false;  // the path was made by this creation, empty, to hold the name
};

std::mutex creationsMutex;
std::map<Handle, Creation> creations;  // by the handle of the file being written

HANDLE ToWin32(Handle file) { return reinterpret_cast<HANDLE>(file); }

HANDLE OpenDiskFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    HANDLE file = CreateFileA(path.c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    // Kept for the caller: OPEN_ALWAYS tells there whether the file was there before.
    const DWORD openError = GetLastError();
    if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(openError);
    return file;
}

// The temporary file takes the place of the settings file, for good on the disk.
bool Replace(HANDLE data, Creation& creation) {
    if (!FlushFileBuffers(data)) return false;
    // The file's own hold would keep the replace out.
    CloseHandle(creation.hold);
    creation.hold = INVALID_HANDLE_VALUE;
    if (!MoveFileExA(creation.tempPath.c_str(), creation.path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    creation.tempPath.clear();
    creation.created = false;
    return true;
}

}  // namespace

bool Exists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

Handle OpenExisting(const std::string& path) {
    HANDLE file = OpenDiskFile(path, GENERIC_READ, 0, OPEN_EXISTING);
    return file == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<Handle>(file);
}

Handle CreateAlways(const std::string& path) {
    Creation creation;
    creation.path = path;
    // The path is held (made empty if missing) so that nobody opens it meanwhile.
    creation.hold = OpenDiskFile(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
    if (creation.hold == INVALID_HANDLE_VALUE) return kInvalidFile;
    creation.created = GetLastError() != ERROR_ALREADY_EXISTS;
    creation.tempPath = path + ".tmp";
    // Shared for deletion only, so that it can be moved over the file while open.
    HANDLE data = OpenDiskFile(creation.tempPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE,
                               CREATE_ALWAYS);
    if (data == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        CloseHandle(creation.hold);
        if (creation.created) DeleteFileA(path.c_str());
        SetLastError(error);
        return kInvalidFile;
    }
    std::lock_guard<std::mutex> lock(creationsMutex);
    creations[reinterpret_cast<Handle>(data)] = creation;
    return reinterpret_cast<Handle>(data);
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
    if (!ok || put != length) return false;
    std::lock_guard<std::mutex> lock(creationsMutex);
    const auto found = creations.find(file);
    if (found == creations.end()) return true;
    // A created file takes its place at its first whole write; later writes add to it.
    if (!found->second.tempPath.empty()) return Replace(ToWin32(file), found->second);
    return FlushFileBuffers(ToWin32(file)) != FALSE;
}

void Close(Handle file) {
    // INVALID_HANDLE_VALUE also stands for the current process; never hand it to CloseHandle.
    if (file == kInvalidFile) return;
    Creation creation;
    {
        std::lock_guard<std::mutex> lock(creationsMutex);
        const auto found = creations.find(file);
        if (found != creations.end()) {
            creation = found->second;
            creations.erase(found);
        }
    }
    CloseHandle(ToWin32(file));
    if (creation.hold != INVALID_HANDLE_VALUE) CloseHandle(creation.hold);
    // A creation that never wrote whole leaves the file as it found it.
    if (!creation.tempPath.empty()) DeleteFileA(creation.tempPath.c_str());
    if (creation.created) DeleteFileA(creation.path.c_str());
}

std::FILE* OpenOwnFile(const std::string& path, const char* mode) {
    std::FILE* file = std::fopen(path.c_str(), mode);
    if (file == nullptr) return nullptr;
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
        std::fclose(file);
        errno = EINVAL;
        return nullptr;
    }
    return file;
}

}  // namespace file_access
