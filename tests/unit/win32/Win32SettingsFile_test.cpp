// The settings file in its own place on Windows: QuenlorV1.CFG in the Windows directory,
// written through the same calls as the language dialog and read back byte for byte.
// Writing there replaces a bench PC's language setting, so it runs only where
// scripts/test-windows.sh sets QUENLOR_TEST_WINDOWS_DIRECTORY (a throw-away Wine prefix);
// the script then checks the file the test leaves behind from the Linux side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

#include "core/SettingsFile.h"
#include "platform/SettingsDirectory.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The whole file, read with the plain Win32 calls rather than the ones under test.
std::string FileBytes(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<not opened: error " + std::to_string(GetLastError()) + ">";
    char buffer[256];
    DWORD count = 0;
    const BOOL ok = ReadFile(file, buffer, sizeof buffer, &count, nullptr);
    CloseHandle(file);
    if (!ok) return "<not read>";
    return std::string(buffer, count);
}

class Win32SettingsFileTest : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("QUENLOR_TEST_WINDOWS_DIRECTORY") == nullptr) {
            GTEST_SKIP() << "writes into the Windows directory: only in the prefix of "
                            "scripts/test-windows.sh";
        }
    }
};

TEST_F(Win32SettingsFileTest, PathIsTheFileNameInTheWindowsDirectory) {
    const std::string path = SettingsPath();
    EXPECT_EQ(path, SettingsDirectory() + "\\QuenlorV1.CFG");
    EXPECT_EQ(Lower(path.substr(1)), ":\\windows\\quenlorv1.cfg") << path;
}

TEST_F(Win32SettingsFileTest, LanguageIsWrittenAsItsElevenBytesAndReadBack) {
    const std::string path = SettingsPath();
    // French (0), then English (1) over it: create-always leaves only the last line.
    const struct {
        int32_t index;
        const char* bytes;
    } cases[] = {{0, "Langue=0;\n\r"}, {1, "Langue=1;\n\r"}};
    for (const auto& c : cases) {
        SCOPED_TRACE("index " + std::to_string(c.index));
        ASSERT_NO_THROW(WriteLanguageSetting(path, c.index));
        const std::string bytes = FileBytes(path);
        EXPECT_EQ(bytes.size(), 11u);
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_EQ(ReadLanguageSetting(path), c.index);
    }
}

}  // namespace
