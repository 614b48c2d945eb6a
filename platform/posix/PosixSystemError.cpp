// Error texts on POSIX: the C library's text for an errno value.
#include <cstring>

#include "platform/SystemError.h"

std::string SystemErrorText(int32_t code) {
    const char* text = std::strerror(code);
    if (text == nullptr || *text == '\0') return "error " + std::to_string(code);
    return text;
}
