// The log of a program's records, kept as a production line needs it. Each record is
// appended through the log's path, so a log that log rotation moved or deleted is made again
// and the record goes to the new one; under an advisory lock that every writer of the log
// takes around its size check, its header and its record; whole or not at all; and on the
// disk before the call returns. A log locked by another program is not waited for: the call
// says so at once, and the caller keeps the record and tries again later.
#pragma once

#include <cstdint>
#include <string>

namespace record_log {

// What Check and Append return for a path that names something else than a regular file
// (a folder, a device, a FIFO): none of the system's codes.
inline constexpr int32_t kNotRegularFile = -1;
// What Append returns while another program holds the log: its lock, or on Windows an open
// that does not share writing (a spreadsheet program's). Nothing was written.
inline constexpr int32_t kLocked = -2;

// Opens the log, making it when missing, to see that records can be added; changes nothing
// in it. A path that names a device is refused without being opened (opening a serial port
// would raise its control lines). 0, or the system's code, or kNotRegularFile.
int32_t Check(const std::string& path);

// Appends record, its line end included, to the log at path: header first when the log is
// empty, lineEnd first when the log does not end in a newline (the remains of a write cut
// short by another program; after a lone CR, only the rest of lineEnd). A log that may only
// be appended to is written all the same, taken as ending in a newline. When the path names
// another file once the record is on the disk (log rotation moved it meanwhile), the record
// goes to that file too: a record twice is better than a record lost. 0 once the bytes are
// on the disk; else the system's code, kNotRegularFile or kLocked, and the log is back at
// its size before the call.
int32_t Append(const std::string& path, const std::string& header, const std::string& record,
               const std::string& lineEnd);

}  // namespace record_log
