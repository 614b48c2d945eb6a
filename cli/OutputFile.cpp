#include "cli/OutputFile.h"

#include <cerrno>
#include <filesystem>

#include "platform/RecordLog.h"
#include "platform/SystemError.h"

namespace fs = std::filesystem;

std::string SystemReason(int32_t code) {
    return SystemErrorText(code) + " (error " + std::to_string(code) + ")";
}

std::string LogReason(int32_t code) {
    return code == record_log::kNotRegularFile ? std::string("not a regular file")
                                               : SystemReason(code);
}

std::string LastWriteReason() {
    const int code = errno;
    return code != 0 ? SystemReason(code) : "write error";
}

std::unique_ptr<std::ofstream> OpenOutputFile(const std::string& path, bool append,
                                              std::string& reason) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!error && fs::exists(status) && !fs::is_regular_file(status) &&
        !fs::is_character_file(status)) {
        reason = "not a regular file";
        return nullptr;
    }
    errno = 0;
    auto file = std::make_unique<std::ofstream>(
        path, std::ios::out | std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    if (!*file) {
        reason = errno != 0 ? SystemReason(errno) : "cannot be opened";
        return nullptr;
    }
    return file;
}
