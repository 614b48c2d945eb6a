// The settings file's calls on Windows: CreateFileW without sharing, so a file that another
// program holds open cannot be opened or created, and a read-only file cannot be created over.
// Only disk files are opened: a pipe or a device at the path is refused. Paths come in the
// ANSI code page, as GetWindowsDirectoryA gives them, and are widened as the A calls would.
//
// A file in the Windows directory also has this user's own copy (Win32PerUserCopy.h), which
// only a process that Windows would virtualize sees; PlanFileUse (PerUserCopyPath.h) says which
// file each call uses. For such a process the copy is read when it exists; a new value is
// written to the Windows directory when that is allowed, and then removes the copy, so that a
// stale copy never hides it; when the Windows directory refuses for lack of rights, the value
// goes to the copy instead. A value written back goes where it was read from.
//
// A created file is written to a temporary file beside it, which replaces the file only once
// a write has gone through whole (FlushFileBuffers, then ReplaceFileW over an existing file,
// which keeps its permissions and attributes, or MoveFileExW onto a new one): a write that
// fails half-way leaves the file as it was, or absent on a first start. Where no temporary
// file may be made beside a file that may itself be written (a closed folder, with write
// granted on the one file), the file is written in place, as CREATE_ALWAYS did: truncated at
// the first write, written and flushed.
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "platform/FileAccess.h"
#include "platform/win32/Win32PerUserCopy.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace file_access {

namespace {

// A created file until its handle closes. The caller's handle is an event of the creation's
// own, which stays valid while the files behind it are closed and replaced.
struct Creation {
    HANDLE data = INVALID_HANDLE_VALUE;  // the temporary file; after the replace, the file
    HANDLE hold = INVALID_HANDLE_VALUE;  // the file itself, unshared, until the replace
    std::string request;                 // the path the caller gave
    std::wstring path;                   // where the file is made: the path or the copy
    std::wstring tempPath;               // empty once it replaced the file
    std::wstring perUserCopy;            // removed once the file it stands for is replaced
    bool created = false;  // the path was made by this creation, empty, to hold the name
    bool inPlace = false;  // no temporary file: the writes go to the file itself
};

std::mutex creationsMutex;
std::map<Handle, Creation> creations;  // by the caller's handle

// The file the last call of this thread went to, for the messages.
thread_local std::string lastRequest;
thread_local std::wstring lastFile;
// The last creation was refused in the Windows directory with no copy to go to.
thread_local bool lastNeedsAdministrator = false;

void Remember(const std::string& request, const std::wstring& file) {
    lastRequest = request;
    lastFile = file;
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int size =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                        nullptr, nullptr);
    return utf8;
}

bool IsFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

HANDLE OpenDiskFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
    HANDLE file = CreateFileW(path.c_str(), access, share, nullptr, disposition,
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

void CloseIfOpen(HANDLE& file) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
}

// The folders above path that are missing; the create that follows reports what went wrong.
void MakeFoldersAbove(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
}

// Holds the path (made empty if missing, so that nobody opens it meanwhile) and opens the
// temporary file beside it.
Handle CreateAt(const std::string& request, const std::wstring& path,
                const std::wstring& perUserCopy) {
    Creation creation;
    creation.request = request;
    creation.path = path;
    creation.perUserCopy = perUserCopy;
    creation.hold = OpenDiskFile(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
    if (creation.hold == INVALID_HANDLE_VALUE) return kInvalidFile;
    creation.created = GetLastError() != ERROR_ALREADY_EXISTS;
    creation.tempPath = path + L".tmp";
    creation.data = OpenDiskFile(creation.tempPath, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (creation.data == INVALID_HANDLE_VALUE && !creation.created &&
        GetLastError() == ERROR_ACCESS_DENIED) {
        // The folder is closed but the file is not: it is written through its own handle.
        creation.data = creation.hold;
        creation.hold = INVALID_HANDLE_VALUE;
        creation.tempPath.clear();
        creation.inPlace = true;
    }
    HANDLE key = creation.data == INVALID_HANDLE_VALUE
                     ? INVALID_HANDLE_VALUE
                     : CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (key == nullptr || key == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        CloseIfOpen(creation.data);
        CloseIfOpen(creation.hold);
        if (!creation.tempPath.empty()) DeleteFileW(creation.tempPath.c_str());
        if (creation.created) DeleteFileW(path.c_str());
        SetLastError(error);
        return kInvalidFile;
    }
    std::lock_guard<std::mutex> lock(creationsMutex);
    creations[reinterpret_cast<Handle>(key)] = creation;
    return reinterpret_cast<Handle>(key);
}

// The temporary file takes the place of the file, for good on the disk; the file is then
// held again for the writes that follow.
bool Replace(Creation& creation) {
    if (!FlushFileBuffers(creation.data)) return false;
    // Neither file may be open while it is replaced.
    CloseIfOpen(creation.data);
    CloseIfOpen(creation.hold);
    const wchar_t* path = creation.path.c_str();
    const wchar_t* tempPath = creation.tempPath.c_str();
    BOOL replaced = FALSE;
    if (creation.created) {
        replaced = MoveFileExW(tempPath, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    } else {
        replaced = ReplaceFileW(path, tempPath, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                                nullptr);
        // The old file went, but the new one stayed under its temporary name.
        if (!replaced && GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
            replaced = MoveFileExW(tempPath, path, MOVEFILE_WRITE_THROUGH);
    }
    if (!replaced) return false;
    creation.tempPath.clear();
    creation.created = false;
    creation.data = OpenDiskFile(creation.path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    if (creation.data != INVALID_HANDLE_VALUE) SetFilePointer(creation.data, 0, nullptr, FILE_END);
    return true;
}

// Removes the copy that a value written to the Windows directory stands for: a read-only copy
// loses that attribute and is tried again. A copy that still cannot go (another program holds
// it) takes the value too, so that it never brings the old one back.
bool RemoveCopy(Creation& creation, const char* buffer, uint32_t length) {
    const wchar_t* copy = creation.perUserCopy.c_str();
    const bool removed = DeleteFileW(copy) || GetLastError() == ERROR_FILE_NOT_FOUND ||
                         GetLastError() == ERROR_PATH_NOT_FOUND ||
                         (SetFileAttributesW(copy, FILE_ATTRIBUTE_NORMAL) && DeleteFileW(copy));
    if (removed) return true;
    // Whoever keeps it from going may let it be written: an antivirus, another instance.
    HANDLE file = OpenDiskFile(creation.perUserCopy, GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS);
    DWORD put = 0;
    const bool written = file != INVALID_HANDLE_VALUE &&
                         WriteFile(file, buffer, length, &put, nullptr) && put == length &&
                         FlushFileBuffers(file);
    CloseIfOpen(file);
    // The message names the copy that keeps the old value.
    if (!written) Remember(creation.request, creation.perUserCopy);
    return written;
}

// The file a handle reads and writes: the creation's current file, else the handle itself.
HANDLE FileOf(Handle file) {
    std::lock_guard<std::mutex> lock(creationsMutex);
    const auto found = creations.find(file);
    return found != creations.end() ? found->second.data : reinterpret_cast<HANDLE>(file);
}

}  // namespace

namespace {

// The plan for a use of path, with the copy's path (empty when the file has none).
FilePlan Plan(const std::wstring& file, const std::wstring& copy, FileUse use) {
    return PlanFileUse(ThisProcessKind(), use, IsFile(file), !copy.empty() && IsFile(copy));
}

Handle Create(const std::string& path, FileUse use) {
    lastNeedsAdministrator = false;
    const std::wstring file = Wide(path);
    const std::wstring copy = PerUserCopyOf(file);
    const FilePlan plan = Plan(file, copy, use);
    if (plan.place == SettingsPlace::kPerUserCopy) {
        Remember(path, copy);
        return CreateAt(path, copy, std::wstring());
    }
    Remember(path, file);
    Handle created = CreateAt(path, file, plan.removeCopy ? copy : std::wstring());
    lastNeedsAdministrator = created == kInvalidFile && !copy.empty() &&
                             GetLastError() == ERROR_ACCESS_DENIED &&
                             ThisProcessKind() == ProcessKind::kNotVirtualized;
    if (created != kInvalidFile || !plan.copyIfRefused || copy.empty() ||
        GetLastError() != ERROR_ACCESS_DENIED)
        return created;
    // The Windows directory refused for lack of rights: this user's own copy takes the file.
    Remember(path, copy);
    MakeFoldersAbove(copy);
    return CreateAt(path, copy, std::wstring());
}

}  // namespace

bool Exists(const std::string& path) {
    const std::wstring file = Wide(path);
    return Plan(file, PerUserCopyOf(file), FileUse::kRead).found;
}

Handle OpenExisting(const std::string& path) {
    const std::wstring file = Wide(path);
    const std::wstring copy = PerUserCopyOf(file);
    const bool fromCopy = Plan(file, copy, FileUse::kRead).place == SettingsPlace::kPerUserCopy;
    const std::wstring& source = fromCopy ? copy : file;
    Remember(path, source);
    HANDLE opened = OpenDiskFile(source, GENERIC_READ, 0, OPEN_EXISTING);
    return opened == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<Handle>(opened);
}

Handle CreateAlways(const std::string& path) { return Create(path, FileUse::kNewValue); }

Handle CreateWriteBack(const std::string& path) { return Create(path, FileUse::kWriteBack); }

bool Read(Handle file, char* buffer, uint32_t length, uint32_t& count) {
    DWORD got = 0;
    BOOL ok = ReadFile(FileOf(file), buffer, length, &got, nullptr);
    count = ok ? got : 0;
    return ok != FALSE;
}

bool Write(Handle file, const char* buffer, uint32_t length, uint32_t& count) {
    std::lock_guard<std::mutex> lock(creationsMutex);
    const auto found = creations.find(file);
    Creation* creation = found == creations.end() ? nullptr : &found->second;
    HANDLE target = creation != nullptr ? creation->data : reinterpret_cast<HANDLE>(file);
    // A file written in place loses its old bytes only now, at the first write.
    if (creation != nullptr && creation->inPlace &&
        (SetFilePointer(target, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
         !SetEndOfFile(target))) {
        count = 0;
        return false;
    }
    DWORD put = 0;
    BOOL ok = WriteFile(target, buffer, length, &put, nullptr);
    count = ok ? put : 0;
    if (creation == nullptr) return ok && put == length;
    Remember(creation->request, creation->path);
    if (!ok || put != length) return false;
    // A created file takes its place at its first whole write; later writes add to it.
    const bool first = !creation->tempPath.empty() || creation->inPlace;
    if (!creation->tempPath.empty() ? !Replace(*creation) : !FlushFileBuffers(creation->data))
        return false;
    creation->inPlace = false;
    if (!first || creation->perUserCopy.empty()) return true;
    const bool gone = RemoveCopy(*creation, buffer, length);
    creation->perUserCopy.clear();
    return gone;
}

void Close(Handle file) {
    // INVALID_HANDLE_VALUE also stands for the current process; never hand it to CloseHandle.
    if (file == kInvalidFile) return;
    Creation creation;
    bool isCreation = false;
    {
        std::lock_guard<std::mutex> lock(creationsMutex);
        const auto found = creations.find(file);
        if (found != creations.end()) {
            creation = found->second;
            creations.erase(found);
            isCreation = true;
        }
    }
    CloseHandle(reinterpret_cast<HANDLE>(file));
    if (!isCreation) return;
    CloseIfOpen(creation.data);
    CloseIfOpen(creation.hold);
    // A creation that never wrote whole leaves the file as it found it.
    if (!creation.tempPath.empty()) DeleteFileW(creation.tempPath.c_str());
    if (creation.created) DeleteFileW(creation.path.c_str());
}

int32_t LastError() { return static_cast<int32_t>(GetLastError()); }

bool OnlyAnAdministratorCanAllow() { return lastNeedsAdministrator; }

std::string UsedPath(const std::string& path) {
    return Utf8(path == lastRequest ? lastFile : Wide(path));
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
