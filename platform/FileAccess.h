// The few file calls of the settings file, with the Win32 semantics: open an existing file
// for reading without sharing, create or truncate a file, one read, one write, close.
// Failures return kInvalidFile or false; nothing here throws. Only regular files are
// opened, without ever blocking (a FIFO at the path is refused, not waited on).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace file_access {

using Handle = intptr_t;
inline constexpr Handle kInvalidFile = -1;

bool Exists(const std::string& path);
// Read-only, no sharing: fails while another holder has the file open.
Handle OpenExisting(const std::string& path);
// Read and write, no sharing, created or truncated to length 0. The new contents replace
// the old ones at the first whole write: until then, and when that write fails, the file
// keeps its old bytes (or stays absent), whatever happens to the program or the disk; except
// on Windows for a file that may be written in a folder that may not, which is truncated at
// the first write, as CREATE_ALWAYS does at the open.
Handle CreateAlways(const std::string& path);
// CreateAlways for writing back the value just read from path: on Windows the file goes back
// where OpenExisting found it, so that a per-user copy stays the copy.
Handle CreateWriteBack(const std::string& path);
bool Read(Handle file, char* buffer, uint32_t length, uint32_t& count);
// True only when all length bytes went out (and, on a created file, reached the disk).
bool Write(Handle file, const char* buffer, uint32_t length, uint32_t& count);
void Close(Handle file);

// The file that the last OpenExisting, CreateAlways, CreateWriteBack or Write of path on this
// thread went to, or failed at, as messages name it (UTF-8): path itself, or where the platform
// keeps that file for this user (on Windows, this user's own copy of a file in the Windows
// directory).
std::string UsedPath(const std::string& path);

// The system's code for the last call above that failed on this thread (errno, or
// GetLastError), for the message's reason; 0 where it gave none.
int32_t LastError();

// Whether the last CreateAlways or CreateWriteBack on this thread was refused where only an
// administrator can let this user write: on Windows, the file in the Windows directory, for a
// process that Windows does not virtualize (no copy of the user's own to fall back on).
// Never on POSIX.
bool OnlyAnAdministratorCanAllow();

// Any other file of the program's own (a log, a trace), with fopen's modes: opened only
// when it is a regular file (or made as one), never blocking on a FIFO or a device.
// nullptr with errno on failure (EINVAL: not a regular file).
std::FILE* OpenOwnFile(const std::string& path, const char* mode);

}  // namespace file_access
