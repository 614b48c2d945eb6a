// Error texts on POSIX: the C library's text for an errno value, and French texts for the
// codes the program's messages show.
#include <cerrno>
#include <cstring>

#include "platform/SystemError.h"

namespace {

const struct {
    int32_t code;
    const char* french;
} kFrenchTexts[] = {
    {EACCES, "Permission refusée"},
    {EPERM, "Opération non permise"},
    {EROFS, "Système de fichiers accessible en lecture seulement"},
    {ENOSPC, "Aucun espace disponible sur le périphérique"},
    {EDQUOT, "Quota de disque dépassé"},
    {ENOENT, "Aucun fichier ou dossier de ce type"},
    {EEXIST, "Le fichier existe"},
    {ENOTDIR, "N'est pas un dossier"},
    {EISDIR, "Est un dossier"},
    {EFBIG, "Fichier trop volumineux"},
    {EBUSY, "Périphérique occupé"},
    {EAGAIN, "Verrouillé par un autre programme"},  // flock on a port another holds
    {EIO, "Erreur d'entrée-sortie"},
    {ENXIO, "Aucun périphérique ou adresse"},
    {ENODEV, "Aucun périphérique de ce type"},
    {ENOTTY, "Ioctl inapproprié pour un périphérique"},
    {EPIPE, "Tube brisé"},
};

}  // namespace

std::string SystemErrorText(int32_t code) {
    const char* text = std::strerror(code);
    if (text == nullptr || *text == '\0') return "error " + std::to_string(code);
    return text;
}

std::string SystemErrorText(int32_t code, int32_t languageIndex) {
    if (languageIndex == 0) {
        for (const auto& entry : kFrenchTexts)
            if (entry.code == code) return entry.french;
    }
    return SystemErrorText(code);
}
