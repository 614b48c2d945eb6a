// The few file calls of the settings file, with the Win32 semantics: open an existing file
// for reading without sharing, create or truncate a file, one read, one write, close.
// Failures return kInvalidFile or false; nothing here throws.
#pragma once

#include <cstdint>
#include <string>

namespace file_access {

using Handle = intptr_t;
inline constexpr Handle kInvalidFile = -1;

bool Exists(const std::string& path);
// Read-only, no sharing: fails while another holder has the file open.
Handle OpenExisting(const std::string& path);
// Read and write, no sharing, created or truncated to length 0.
Handle CreateAlways(const std::string& path);
bool Read(Handle file, char* buffer, uint32_t length, uint32_t& count);
bool Write(Handle file, const char* buffer, uint32_t length, uint32_t& count);
void Close(Handle file);

}  // namespace file_access
