// The one error type of the file layer: it carries the message shown to the user, in UTF-8
// (as are the paths in it) on every platform.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

// The reason, where the system gave one, is its own text ("Permission refusée"): the error
// box shows it on a line of its own under the message.
class FileError : public std::runtime_error {
public:
    explicit FileError(const std::string& message, std::string reason = {})
        : std::runtime_error(message), reason_(std::move(reason)) {}
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};
