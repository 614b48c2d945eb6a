// The one error type of the file layer: it carries the message shown to the user, in UTF-8
// (as are the paths in it) on every platform.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

// The reason, where the system gave one, is its own text ("Permission refusée"): the error
// box shows it on a line of its own under the message.
// A folder that failed also gives its path and the system's code, for messages in other
// languages than the box's.
class FileError : public std::runtime_error {
public:
    explicit FileError(const std::string& message, std::string reason = {}, std::string path = {},
                       int32_t code = 0)
        : std::runtime_error(message),
          reason_(std::move(reason)),
          path_(std::move(path)),
          code_(code) {}
    const std::string& reason() const { return reason_; }
    const std::string& path() const { return path_; }
    int32_t code() const { return code_; }

private:
    std::string reason_;
    std::string path_;
    int32_t code_ = 0;
};
