// The one error type of the file layer: it carries the message shown to the user.
#pragma once

#include <stdexcept>
#include <string>

class FileError : public std::runtime_error {
public:
    explicit FileError(const std::string& message) : std::runtime_error(message) {}
};
