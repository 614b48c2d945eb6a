// The system calls by which the settings file takes its new contents on POSIX (the write of
// the temporary file, its fsync, the rename over the file and the folder's fsync), and by
// which a record reaches the log (its write and fdatasync). A test may swap them to see their
// order or to make one of them fail; the real calls otherwise. Only PosixFileAccess.cpp and
// PosixRecordLog.cpp go through them.
#pragma once

#include <sys/types.h>

namespace file_access {

struct PosixFileCalls {
    ssize_t (*write)(int fd, const void* buffer, size_t count);
    int (*fsync)(int fd);
    int (*rename)(const char* from, const char* to);
    int (*fdatasync)(int fd);
};

// The calls in use, for the whole process.
PosixFileCalls& FileCalls();

}  // namespace file_access
