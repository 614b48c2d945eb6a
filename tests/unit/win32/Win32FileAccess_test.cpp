// The settings file's calls on Windows: no sharing, create-always truncation, read-only files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/FileAccess.h"
#include "tests/support/TempDir.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

using file_access::Handle;
using file_access::kInvalidFile;

class Win32FileAccessTest : public testing::Test {
protected:
    // Writes a whole file through the calls under test.
    void WriteFileText(const std::string& path, const std::string& text) {
        Handle file = file_access::CreateAlways(path);
        ASSERT_NE(file, kInvalidFile) << path;
        uint32_t count = 0;
        EXPECT_TRUE(
            file_access::Write(file, text.data(), static_cast<uint32_t>(text.size()), count));
        EXPECT_EQ(count, text.size());
        file_access::Close(file);
    }

    std::string ReadFileText(const std::string& path) {
        Handle file = file_access::OpenExisting(path);
        EXPECT_NE(file, kInvalidFile) << path;
        if (file == kInvalidFile) return "<not opened>";
        char buffer[512];
        uint32_t count = 0;
        EXPECT_TRUE(file_access::Read(file, buffer, sizeof buffer, count));
        file_access::Close(file);
        return std::string(buffer, count);
    }

    TempDir dir_;
    std::string path_ = dir_ / "QuenlorV1.CFG";
};

TEST_F(Win32FileAccessTest, MissingFileDoesNotExistAndCannotBeOpened) {
    EXPECT_FALSE(file_access::Exists(path_));
    EXPECT_EQ(file_access::OpenExisting(path_), kInvalidFile);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Win32FileAccessTest, DirectoryIsNotASettingsFile) {
    EXPECT_FALSE(file_access::Exists(dir_.Path()));
}

TEST_F(Win32FileAccessTest, CreatedFileExistsAndReadsBackItsBytes) {
    const std::string line = "Langue=1;\n\r";
    WriteFileText(path_, line);
    EXPECT_TRUE(file_access::Exists(path_));
    EXPECT_EQ(ReadFileText(path_), line);
}

TEST_F(Win32FileAccessTest, CreateAlwaysTruncatesALongerFile) {
    WriteFileText(path_, std::string(300, 'x') + "Langue=1;\n\r");
    WriteFileText(path_, "Langue=0;\n\r");
    EXPECT_EQ(ReadFileText(path_), "Langue=0;\n\r");
}

TEST_F(Win32FileAccessTest, ReadAtTheEndSucceedsWithNoBytes) {
    WriteFileText(path_, "");
    Handle file = file_access::OpenExisting(path_);
    ASSERT_NE(file, kInvalidFile);
    char buffer[4];
    uint32_t count = 99;
    EXPECT_TRUE(file_access::Read(file, buffer, sizeof buffer, count));
    EXPECT_EQ(count, 0u);
    file_access::Close(file);
}

TEST_F(Win32FileAccessTest, ReadingHandleCannotWrite) {
    WriteFileText(path_, "Langue=0;\n\r");
    Handle file = file_access::OpenExisting(path_);
    ASSERT_NE(file, kInvalidFile);
    uint32_t count = 99;
    EXPECT_FALSE(file_access::Write(file, "1", 1, count));
    EXPECT_EQ(count, 0u);
    file_access::Close(file);
    EXPECT_EQ(ReadFileText(path_), "Langue=0;\n\r");
}

// While one holder has the file open, nobody else may open or create it: neither holder
// shares it. Each case is what the holder did, then what the second caller tries.
TEST_F(Win32FileAccessTest, FileHeldOpenCannotBeOpenedOrCreatedAgain) {
    struct Case {
        const char* name;
        Handle (*hold)(const std::string&);
        Handle (*second)(const std::string&);
    };
    const Case cases[] = {
        {"open, then open", file_access::OpenExisting, file_access::OpenExisting},
        {"open, then create", file_access::OpenExisting, file_access::CreateAlways},
        {"create, then open", file_access::CreateAlways, file_access::OpenExisting},
        {"create, then create", file_access::CreateAlways, file_access::CreateAlways},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileText(path_, "Langue=1;\n\r");
        Handle held = c.hold(path_);
        ASSERT_NE(held, kInvalidFile);
        Handle second = c.second(path_);
        EXPECT_EQ(second, kInvalidFile);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        file_access::Close(second);
        file_access::Close(held);
        // Once released, the file opens again.
        Handle again = file_access::OpenExisting(path_);
        EXPECT_NE(again, kInvalidFile);
        file_access::Close(again);
    }
}

TEST_F(Win32FileAccessTest, ReadOnlyFileOpensForReadingButCannotBeCreatedOver) {
    // Wine keeps the read-only attribute as the Unix write permission, which root ignores.
    if (std::getenv("QUENLOR_TEST_WINE_AS_ROOT") != nullptr) {
        GTEST_SKIP() << "root under Wine can create over a read-only file";
    }
    WriteFileText(path_, "Langue=1;\n\r");
    ASSERT_TRUE(SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_TRUE(file_access::Exists(path_));
    EXPECT_EQ(ReadFileText(path_), "Langue=1;\n\r");
    Handle created = file_access::CreateAlways(path_);
    EXPECT_EQ(created, kInvalidFile);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    file_access::Close(created);
    // The refused create left the contents alone.
    EXPECT_EQ(ReadFileText(path_), "Langue=1;\n\r");

    SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32FileAccessTest, CreateInAMissingDirectoryFails) {
    EXPECT_EQ(file_access::CreateAlways(dir_ / "missing\\QuenlorV1.CFG"), kInvalidFile);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
