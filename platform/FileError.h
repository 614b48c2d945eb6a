// The one error type of the file layer: it carries the message shown to the user, in UTF-8
// (as are the paths in it) on every platform.
#pragma once

#include <stdexcept>
#include <string>

class FileError : public std::runtime_error {
public:
    explicit FileError(const std::string& message) : std::runtime_error(message) {}
};
