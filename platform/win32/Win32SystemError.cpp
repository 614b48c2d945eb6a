// Error texts on Windows: the system's message for a GetLastError value, without the line
// break and full stop FormatMessage puts at its end.
#include "platform/SystemError.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

std::string SystemErrorText(int32_t code) {
    char buffer[512] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    if (text.empty()) return "error " + std::to_string(code);
    return text;
}
