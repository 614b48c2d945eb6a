// Opening the program's own files on POSIX: only regular files, and never a blocking open.
// A FIFO at a settings or trace path would otherwise hang the open until a writer came.
#pragma once

#include <sys/types.h>

#include <string>

// open(2) with O_NONBLOCK, O_NOCTTY and O_CLOEXEC added; a path that already names a device
// or a FIFO is refused with EINVAL without being opened, and anything else that turns out
// not to be a regular file is closed again and refused (EISDIR for a folder). The descriptor comes
// back blocking. -1 with errno on failure.
int OpenRegularFile(const std::string& path, int flags, mode_t mode = 0666);
