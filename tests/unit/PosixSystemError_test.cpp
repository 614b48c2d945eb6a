// The operating system's texts for the codes a port failure carries.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/SystemError.h"

namespace {

TEST(PosixSystemError, CodesGiveTheCLibraryTexts) {
    const struct {
        int32_t code;
        const char* text;
    } cases[] = {
        {ENOENT, "No such file or directory"},
        {EACCES, "Permission denied"},
        {EBUSY, "Device or resource busy"},
        {EIO, "Input/output error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(SystemErrorText(c.code), c.text);
    }
    EXPECT_FALSE(SystemErrorText(99999).empty());
    // In French for the codes the messages show; the system's text for any other.
    const struct {
        int32_t code;
        int32_t language;
        std::string text;
    } languages[] = {
        {EACCES, 0, "Permission refusée"},
        {ENOSPC, 0, "Aucun espace disponible sur le périphérique"},
        {EROFS, 0, "Système de fichiers accessible en lecture seulement"},
        {EIO, 1, "Input/output error"},
        {EXDEV, 0, SystemErrorText(EXDEV)},
    };
    for (const auto& c : languages) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SystemErrorText(c.code, c.language), c.text);
    }
}

}  // namespace
