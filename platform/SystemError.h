// The operating system's own text for one of its error codes (the codes a link status carries
// when a port cannot be opened or used), for messages to the user.
#pragma once

#include <cstdint>
#include <string>

// "No such file or directory" for ENOENT on POSIX, "The system cannot find the file
// specified" for ERROR_FILE_NOT_FOUND on Windows; in UTF-8, never empty.
std::string SystemErrorText(int32_t code);
