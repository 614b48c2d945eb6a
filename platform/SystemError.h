// The operating system's own text for one of its error codes (the codes a link status carries
// when a port cannot be opened or used), for messages to the user.
#pragma once

#include <cstdint>
#include <string>

// "No such file or directory" for ENOENT on POSIX, "The system cannot find the file
// specified" for ERROR_FILE_NOT_FOUND on Windows; in UTF-8, never empty.
std::string SystemErrorText(int32_t code);

// The same in the language of a language index (0 French, 1 English), so that a French
// message does not hold an English reason: a small table of the codes that the program's
// messages can show (no access, read-only, disk full, quota, missing, existing; a port
// busy, gone or not a port), the system's own text for any other code.
std::string SystemErrorText(int32_t code, int32_t languageIndex);
