// The settings file when the file system works against it: a full disk, a folder the user
// may not write, a file another program keeps open. Each must end in the file layer's
// error with the message the user sees, and a failed write must leave the file as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "core/SettingsFile.h"
#include "platform/FileError.h"
#include "tests/support/PosixChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

std::string OpenError(const std::string& path) { return "Impossible d'ouvrir le fichier " + path; }
std::string CreateError(const std::string& path) {
    return "Impossible de créer le fichier " + path;
}

std::string Contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The message of the FileError that `call` raises; empty when it raises none.
std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const FileError& error) {
        return error.what();
    }
    return {};
}

// Another program with the settings file open: it holds the file's lock, as the program's
// own file calls do, until it is killed.
bool HoldFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
}

// The settings path is a link to /dev/full: every write fails with ENOSPC.
TEST(SettingsFileFaultsTest, FullDiskFailsTheWrite) {
    TempDir dir;
    const std::string path = dir / kSettingsFileName;
    std::filesystem::create_symlink("/dev/full", path);
    for (int32_t index : {0, 1}) {
        SCOPED_TRACE("index " + std::to_string(index));
        EXPECT_EQ(ErrorOf([&] { WriteLanguageSetting(path, index); }), CreateError(path));
    }
}

TEST(SettingsFileFaultsTest, FolderThatCannotBeWrittenFailsTheCreation) {
    TempDir dir;
    const std::string folder = dir / "read-only";
    std::filesystem::create_directory(folder);
    chmod(folder.c_str(), 0555);
    const std::string path = folder + "/" + kSettingsFileName;
    EXPECT_EQ(InChildProcess(true, [&] { return ErrorOf([&] { WriteLanguageSetting(path, 1); }); }),
              CreateError(path));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(SettingsFileFaultsTest, FileHeldByAnotherProgramIsNeitherReadNorRewritten) {
    TempDir dir;
    const std::string path = dir / kSettingsFileName;
    // More than one line, so that a truncation or a partial rewrite would show.
    const std::string previous =
        std::string("Langue=1;\n\r") + std::string("notes of the bench\0\xE9\n", 21);
    Put(path, previous);
    {
        HoldingProcess holder([&] { return HoldFile(path); });
        ASSERT_TRUE(holder.Held());
        EXPECT_EQ(ErrorOf([&] { ReadLanguageSetting(path); }), OpenError(path));
        for (int32_t index : {0, 1}) {
            SCOPED_TRACE("index " + std::to_string(index));
            EXPECT_EQ(ErrorOf([&] { WriteLanguageSetting(path, index); }), CreateError(path));
            EXPECT_EQ(Contents(path), previous);
        }
    }
    // Once the other program lets go, the file is the program's again.
    EXPECT_EQ(ReadLanguageSetting(path), 1);
    WriteLanguageSetting(path, 0);
    EXPECT_EQ(Contents(path), "Langue=0;\n\r");
}

}  // namespace
