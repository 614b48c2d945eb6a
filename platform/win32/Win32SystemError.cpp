// Error texts on Windows: the system's message for a GetLastError value, without the line
// break and full stop FormatMessage puts at its end, in UTF-8 as every message of the program
// (the ANSI code page would turn a French "Accès refusé" into other bytes).
#include "platform/SystemError.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

std::string SystemErrorText(int32_t code) {
    wchar_t buffer[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(code), 0, buffer,
                                        sizeof buffer / sizeof buffer[0], nullptr);
    std::string text;
    if (length > 0) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), nullptr,
                                             0, nullptr, nullptr);
        text.resize(static_cast<size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), text.data(), size,
                            nullptr, nullptr);
    }
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    if (text.empty()) return "error " + std::to_string(code);
    return text;
}
