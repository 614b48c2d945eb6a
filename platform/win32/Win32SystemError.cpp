// Error texts on Windows: the system's message for a GetLastError value, without the line
// break and full stop FormatMessage puts at its end, in UTF-8 as every message of the program
// (the ANSI code page would turn a French "Accès refusé" into other bytes).
#include "platform/SystemError.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// French texts for the codes the program's messages show, whatever the system's language.
const struct {
    DWORD code;
    const char* french;
} kFrenchTexts[] = {
    {ERROR_ACCESS_DENIED, "Accès refusé"},
    {ERROR_FILE_NOT_FOUND, "Le fichier spécifié est introuvable"},
    {ERROR_PATH_NOT_FOUND, "Le chemin d'accès spécifié est introuvable"},
    {ERROR_WRITE_PROTECT, "Le support est protégé en écriture"},
    {ERROR_DISK_FULL, "Espace insuffisant sur le disque"},
    {ERROR_HANDLE_DISK_FULL, "Le disque est plein"},
    {ERROR_FILE_EXISTS, "Le fichier existe"},
    {ERROR_ALREADY_EXISTS, "Impossible de créer un fichier déjà existant"},
    {ERROR_SHARING_VIOLATION, "Le fichier est utilisé par un autre processus"},
    {ERROR_GEN_FAILURE, "Un périphérique attaché au système ne fonctionne pas correctement"},
    {ERROR_DEVICE_NOT_CONNECTED, "Le périphérique n'est pas connecté"},
};

}  // namespace

std::string SystemErrorText(int32_t code, int32_t languageIndex) {
    if (languageIndex == 0) {
        for (const auto& entry : kFrenchTexts)
            if (entry.code == static_cast<DWORD>(code)) return entry.french;
    }
    return SystemErrorText(code);
}

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
