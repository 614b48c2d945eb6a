// The files p06-read writes besides its standard streams: the trace and the log.
#pragma once

#include <fstream>
#include <memory>
#include <string>

#include "dialogs/Language.h"

// Opens path for writing, from its start or appended. Refuses, without blocking, what is
// neither a regular file nor a device (a FIFO would hang the open, a folder cannot be
// written). On failure returns nullptr with the system's reason, code included.
// The reason is in the language given.
std::unique_ptr<std::ofstream> OpenOutputFile(const std::string& path, bool append,
                                              std::string& reason,
                                              Language language = Language::English);

// Why the log at a path cannot be written, from platform/RecordLog.h's code.
std::string LogReason(int32_t code, Language language = Language::English);
