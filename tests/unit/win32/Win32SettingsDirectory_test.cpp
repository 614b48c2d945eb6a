// The settings directory on Windows is the Windows directory itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "platform/SettingsDirectory.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

TEST(Win32SettingsDirectoryTest, IsTheWindowsDirectoryOfADrive) {
    std::string directory = SettingsDirectory();
    SCOPED_TRACE(directory);
    // A full path on a drive ("C:\windows"), with no separator at its end, so that the
    // settings path is the directory followed by "\QuenlorV1.CFG".
    ASSERT_GE(directory.size(), 4u);
    EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(directory[0])));
    EXPECT_EQ(directory.substr(1, 2), ":\\");
    EXPECT_NE(directory.back(), '\\');
    EXPECT_EQ(Lower(directory.substr(directory.rfind('\\'))), "\\windows");
}

TEST(Win32SettingsDirectoryTest, NamesAnExistingDirectory) {
    DWORD attributes = GetFileAttributesA(SettingsDirectory().c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST(Win32SettingsDirectoryTest, SeparatorIsBackslashAndThereAreNoPortAliases) {
    EXPECT_EQ(PathSeparator(), '\\');
    EXPECT_EQ(PortAliasDirectory(), "");
}

}  // namespace
