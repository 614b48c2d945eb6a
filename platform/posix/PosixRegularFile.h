// Opening the program's own files on POSIX: only regular files, and never a blocking open.
// A FIFO at a settings or trace path would otherwise hang the open until a writer came.
#pragma once

#include <sys/types.h>

#include <string>

// open(2) with O_NONBLOCK, O_NOCTTY and O_CLOEXEC added; anything that is not a regular file
// is closed again and refused with EINVAL (EISDIR for a folder). The descriptor comes back
// blocking. -1 with errno on failure.
int OpenRegularFile(const std::string& path, int flags, mode_t mode = 0666);
