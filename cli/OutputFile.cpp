#include "cli/OutputFile.h"

#include <cerrno>
#include <filesystem>

#include "cli/ReaderMessages.h"
#include "cli/ReaderTexts.h"
#include "platform/RecordLog.h"
#include "platform/SystemError.h"

namespace fs = std::filesystem;

std::string LogReason(int32_t code, Language language) {
    return code == record_log::kNotRegularFile ? Say(reader_texts::kNotRegularFile, language)
                                               : SystemReasonIn(code, language);
}

std::unique_ptr<std::ofstream> OpenOutputFile(const std::string& path, bool append,
                                              std::string& reason, Language language) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!error && fs::exists(status) && !fs::is_regular_file(status) &&
        !fs::is_character_file(status)) {
        reason = Say(reader_texts::kNotRegularFile, language);
        return nullptr;
    }
    errno = 0;
    auto file = std::make_unique<std::ofstream>(
        path, std::ios::out | std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    if (!*file) {
        reason =
            errno != 0 ? SystemReasonIn(errno, language) : Say(reader_texts::kWriteError, language);
        return nullptr;
    }
    return file;
}
