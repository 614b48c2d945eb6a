// The operating system's texts for the codes a port failure carries.
#include <gtest/gtest.h>

#include <cerrno>

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
}

}  // namespace
