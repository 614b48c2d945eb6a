// This user's own copy of a file in the Windows directory: how the settings file's reads and
// writes choose between it and the Windows directory when either refuses (where the copy
// lives is a rule on strings, PerUserCopyPath_test.cpp). A folder standing at a name makes Windows
// refuse that file for lack of rights (ERROR_ACCESS_DENIED), as a Windows directory that a standard
// user may not write does.
//
// The cases write into the Windows directory, so they run only where scripts/test-windows.sh
// sets QUENLOR_TEST_WINDOWS_DIRECTORY (a throw-away Wine prefix).
#include "platform/win32/Win32PerUserCopy.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/SettingsFile.h"
#include "platform/FileAccess.h"
#include "platform/FileError.h"
#include "platform/SettingsDirectory.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

std::string Utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    utf8.pop_back();
    return utf8;
}

std::wstring WideAscii(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The whole file through the plain calls, "-" when there is none.
std::string Bytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "-";
    char buffer[256];
    DWORD count = 0;
    ReadFile(file, buffer, sizeof buffer, &count, nullptr);
    CloseHandle(file);
    return std::string(buffer, count);
}

void Put(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Utf8(path);
    DWORD count = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr);
    CloseHandle(file);
}

// Every folder above path.
void MakeFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
}

// What stands at the two places before a read or a write: "-" for nothing, "folder" for a
// folder at the name (the place refuses), "held" for a file that another program holds open
// without sharing, "kept" for French that another program holds open sharing reading and
// writing but not deletion, "closed" for French with a folder at the temporary name (a closed
// folder, the file writable), "read-only" for French with that attribute, else the file's bytes.
struct Place {
    const char* windows;  // the Windows directory: at the file's temporary name for a write
    const char* copy;     // this user's copy
};

class PerUserCopyTest : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("QUENLOR_TEST_WINDOWS_DIRECTORY") == nullptr) {
            GTEST_SKIP() << "writes into the Windows directory: only in the prefix of "
                            "scripts/test-windows.sh";
        }
        copy_ = PerUserCopyOf(WideAscii(path_));
        ASSERT_FALSE(copy_.empty());
        TearDown();
        // The copy's folders are made by the write that needs them.
        RemoveDirectoryW(copy_.substr(0, copy_.rfind(L'\\')).c_str());
    }

    void TearDown() override {
        for (const std::wstring& file : {WideAscii(path_), WideAscii(path_) + L".tmp", copy_}) {
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file.c_str());
            RemoveDirectoryW(file.c_str());
        }
    }

    // Sets up one place; the file name the Windows directory refuses at is given.
    void Prepare(const char* what, const std::wstring& file, const std::wstring& refusedAt) {
        const std::string state = what;
        if (state == "-") return;
        if (state == "folder") {
            MakeFolders(refusedAt);
            ASSERT_TRUE(CreateDirectoryW(refusedAt.c_str(), nullptr)) << Utf8(refusedAt);
            return;
        }
        MakeFolders(file);
        if (state == "closed" || state == "read-only") {
            Put(file, "Langue=0;\n\r");
            if (state == "closed") {
                ASSERT_TRUE(CreateDirectoryW(refusedAt.c_str(), nullptr));
            } else {
                ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
            }
            return;
        }
        if (state == "held" || state == "kept") {
            Put(file, "Langue=0;\n\r");
            const DWORD share = state == "kept" ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
            held_ = CreateFileW(file.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(held_, INVALID_HANDLE_VALUE);
            return;
        }
        Put(file, state);
    }

    void Release() {
        if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
        held_ = INVALID_HANDLE_VALUE;
    }

    const std::string path_ = SettingsDirectory() + "\\QuenlorTest.CFG";
    std::wstring copy_;
    HANDLE held_ = INVALID_HANDLE_VALUE;
};

// A write of English (index 1) or a read; what stands at each place after it, where "folder"
// is a folder; "copy" or "windows" says which file the message names.
TEST_F(PerUserCopyTest, WindowsDirectoryFirstForWritesAndTheCopyFirstForReads) {
    const char* const line = "Langue=1;\n\r";
    const char* const french = "Langue=0;\n\r";
    const struct {
        const char* what;
        bool write;
        Place before;
        int32_t index;  // read; -9 for the open error
        const char* error;
        Place after;
    } cases[] = {
        {"first start, Windows directory writable", true, {"-", "-"}, 0, "", {line, "-"}},
        {"a write there removes a stale copy", true, {"-", french}, 0, "", {line, "-"}},
        {"refused there: the copy and its folders are made",
         true,
         {"folder", "-"},
         0,
         "",
         {"-", line}},
        {"refused there: the copy is rewritten", true, {"folder", french}, 0, "", {"-", line}},
        {"no temporary file beside it: written in place, the copy removed",
         true,
         {"closed", french},
         0,
         "",
         {line, "-"}},
        {"a read-only copy is removed all the same", true, {"-", "read-only"}, 0, "", {line, "-"}},
        {"a copy that cannot go takes the value too", true, {"-", "kept"}, 0, "", {line, line}},
        {"refused at both: the message names the copy",
         true,
         {"folder", "folder"},
         0,
         "copy",
         {"-", "folder"}},
        {"held open there by another program: no copy",
         true,
         {"held", "-"},
         0,
         "windows",
         {french, "-"}},
        {"the Windows directory's file alone", false, {line, "-"}, 1, "", {line, "-"}},
        {"the copy alone", false, {"-", line}, 1, "", {"-", line}},
        {"both: the copy wins", false, {french, line}, 1, "", {french, line}},
        {"both: the copy wins for French too", false, {line, french}, 0, "", {line, french}},
        {"the copy held open by another program",
         false,
         {line, "held"},
         -9,
         "copy",
         {line, french}},
    };
    const std::wstring windowsFile = WideAscii(path_);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        Prepare(c.before.windows, windowsFile, c.write ? windowsFile + L".tmp" : windowsFile);
        Prepare(c.before.copy, copy_, copy_);
        // Start-up reads what exists, and creates what does not.
        if (!c.write) {
            EXPECT_TRUE(file_access::Exists(path_));
        }
        int32_t index = c.write ? 0 : -9;
        std::string message = "(no error)";
        try {
            if (c.write)
                WriteLanguageSetting(path_, 1);
            else
                index = ReadLanguageSetting(path_);
        } catch (const FileError& error) {
            message = error.what();
        }
        Release();
        const std::string named = std::string(c.error) == "copy" ? Utf8(copy_) : path_;
        const char* failure =
            c.write ? "Impossible de créer le fichier " : "Impossible d'ouvrir le fichier ";
        EXPECT_EQ(message, *c.error ? failure + named : "(no error)");
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(Bytes(windowsFile), c.after.windows);
        const DWORD copyAttributes = GetFileAttributesW(copy_.c_str());
        const bool copyIsFolder = copyAttributes != INVALID_FILE_ATTRIBUTES &&
                                  (copyAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        EXPECT_EQ(copyIsFolder ? "folder" : Bytes(copy_), c.after.copy);
    }
}

}  // namespace
