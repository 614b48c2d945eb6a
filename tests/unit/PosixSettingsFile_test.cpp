// The settings file's failures that need a second process or a user other than root:
// a file held by another program, a read-only file, a folder that cannot be written,
// a write cut short. CI runs as root, whom permissions do not stop, so those cases run in a
// child process that has become the user nobody; the child sends its outcome back as text.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/SettingsFile.h"
#include "platform/FileAccess.h"
#include "platform/FileError.h"
#include "platform/RecordLog.h"
#include "platform/posix/PosixFileCalls.h"
#include "tests/support/PosixChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// What a call gave: its result, or the message of the FileError it raised.
std::string Outcome(const std::function<int32_t()>& call) {
    try {
        return "index " + std::to_string(call());
    } catch (const FileError& error) {
        return error.what();
    }
}

std::string WriteOutcome(const std::string& path, int32_t index) {
    return Outcome([&] {
        WriteLanguageSetting(path, index);
        return index;
    });
}

class SettingsFilePermissions : public ::testing::Test {
protected:
    void SetUp() override {
        // nobody must be able to reach the folders of the test.
        fs::permissions(dir.Path(), fs::perms::all);
    }

    // A folder of the test with the given permissions.
    std::string Folder(const std::string& name, fs::perms perms) {
        std::string folder = dir / name;
        fs::create_directory(folder);
        fs::permissions(folder, perms);
        return folder;
    }

    TempDir dir;
};

TEST_F(SettingsFilePermissions, ReadOnlyFileCanBeReadButNotCreated) {
    struct Case {
        const char* contents;
        const char* read;
    };
    const Case cases[] = {
        {"Langue=1;\n\r", "index 1"},
        {"Langue=0;\n\r", "index 0"},
    };
    const std::string folder = Folder("open", fs::perms::all);
    const std::string path = folder + "/QuenlorV1.CFG";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contents);
        std::error_code absent;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, absent);
        WriteBytes(path, c.contents);
        fs::permissions(path,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

        EXPECT_EQ(InChildProcess(
                      true, [&] { return Outcome([&] { return ReadLanguageSetting(path); }); }),
                  c.read);
        EXPECT_EQ(InChildProcess(true, [&] { return WriteOutcome(path, 1); }),
                  "Impossible de créer le fichier " + path);
        EXPECT_EQ(ReadBytes(path), c.contents);
    }
}

TEST_F(SettingsFilePermissions, FolderThatCannotBeWrittenGetsNoFile) {
    const std::string folder = Folder(
        "locked", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                      fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const std::string path = folder + "/QuenlorV1.CFG";
    EXPECT_EQ(InChildProcess(true, [&] { return WriteOutcome(path, 0); }),
              "Impossible de créer le fichier " + path);
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(SettingsFilePermissions, UnreadableFileCannotBeOpened) {
    const std::string folder = Folder("open", fs::perms::all);
    const std::string path = folder + "/QuenlorV1.CFG";
    WriteBytes(path, "Langue=1;\n\r");
    fs::permissions(path, fs::perms::none);
    EXPECT_EQ(
        InChildProcess(true, [&] { return Outcome([&] { return ReadLanguageSetting(path); }); }),
        "Impossible d'ouvrir le fichier " + path);
}

TEST(SettingsFileHeldByAnotherProgram, CanBeNeitherReadNorCreated) {
    TempDir dir;
    const std::string path = dir / "QuenlorV1.CFG";
    WriteBytes(path, "Langue=1;\n\r");

    {
        // The other program, holding the file through the program's own file calls.
        HoldingProcess holder(
            [&] { return file_access::OpenExisting(path) != file_access::kInvalidFile; });
        ASSERT_TRUE(holder.Held());
        EXPECT_EQ(Outcome([&] { return ReadLanguageSetting(path); }),
                  "Impossible d'ouvrir le fichier " + path);
        EXPECT_EQ(WriteOutcome(path, 0), "Impossible de créer le fichier " + path);
        EXPECT_EQ(ReadBytes(path), "Langue=1;\n\r");
    }
    // Once the other program lets go, the file can be read again.
    EXPECT_EQ(Outcome([&] { return ReadLanguageSetting(path); }), "index 1");
}

// A write the kernel cuts short or refuses raises the create error and leaves the file as
// it was (absent on a first start), with nothing else left in the folder.
TEST(WriteLanguageSetting, WriteCutShortRaisesTheCreateErrorAndKeepsTheFile) {
    struct Case {
        const char* what;
        rlim_t sizeLimit;
        const char* before;  // nullptr: no file yet
    };
    // The file size limit makes the kernel cut the one write short, or refuse it whole.
    const Case cases[] = {
        {"short write", 5, "Langue=0;\n\r"},
        {"failed write", 0, "Langue=0;\n\r"},
        {"short write on a first start", 5, nullptr},
        {"failed write on a first start", 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir / "QuenlorV1.CFG";
        if (c.before != nullptr) WriteBytes(path, c.before);
        std::string outcome = InChildProcess(false, [&] {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{c.sizeLimit, c.sizeLimit};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return std::string("(no limit)");
            return WriteOutcome(path, 1);
        });
        EXPECT_EQ(outcome, "Impossible de créer le fichier " + path);
        if (c.before != nullptr) {
            EXPECT_EQ(ReadBytes(path), c.before);
        } else {
            EXPECT_FALSE(std::filesystem::exists(path));
        }
        const auto entries = std::distance(std::filesystem::directory_iterator(dir.Path()),
                                           std::filesystem::directory_iterator());
        EXPECT_EQ(entries, c.before != nullptr ? 1 : 0) << "a temporary file was left behind";
    }
}

// The calls the settings file's replace went through, by what they acted on, and the one
// made to fail (EIO).
std::vector<std::string> replaceCalls;
std::string failingCall;

std::string NameOf(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    return name == "QuenlorV1.CFG" ? "file" : name == "units.log" ? "log" : "temporary file";
}

std::string NameOf(int fd) {
    struct stat status{};
    if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) return "folder";
    char path[PATH_MAX];
    const ssize_t length =
        readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    return NameOf(std::string(path, length > 0 ? length : 0));
}

bool Goes(const std::string& call) {
    replaceCalls.push_back(call);
    errno = call == failingCall ? EIO : 0;
    return call != failingCall;
}

ssize_t RecordedWrite(int fd, const void* buffer, size_t count) {
    return Goes("write " + NameOf(fd)) ? write(fd, buffer, count) : -1;
}
int RecordedFsync(int fd) { return Goes("fsync " + NameOf(fd)) ? fsync(fd) : -1; }
int RecordedRename(const char* from, const char* to) {
    return Goes("rename " + NameOf(from) + " to " + NameOf(to)) ? rename(from, to) : -1;
}
int RecordedFdatasync(int fd) { return Goes("fdatasync " + NameOf(fd)) ? fdatasync(fd) : -1; }

// The new line reaches the disk before it takes the file's name, and the name before the
// write returns. A failure up to the rename leaves the old file whole and raises the create
// error; the folder's fsync comes after the rename, which stands.
TEST(WriteLanguageSetting, SyncsTheTemporaryFileBeforeTheRenameAndTheFolderAfter) {
    const std::vector<std::string> order = {"write temporary file", "fsync temporary file",
                                            "rename temporary file to file", "fsync folder"};
    const struct {
        const char* failing;
        size_t calls;  // the first calls of order that were made
        bool replaced;
    } cases[] = {
        {"", 4, true},
        {"write temporary file", 1, false},
        {"fsync temporary file", 2, false},
        {"rename temporary file to file", 3, false},
        {"fsync folder", 4, true},
    };
    file_access::PosixFileCalls& calls = file_access::FileCalls();
    const file_access::PosixFileCalls real = calls;
    calls = {RecordedWrite, RecordedFsync, RecordedRename, RecordedFdatasync};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("failing: ") + c.failing);
        TempDir dir;
        const std::string path = dir / "QuenlorV1.CFG";
        WriteBytes(path, "Langue=0;\n\r");
        replaceCalls.clear();
        failingCall = c.failing;
        const std::string outcome = WriteOutcome(path, 1);
        EXPECT_EQ(replaceCalls, std::vector<std::string>(order.begin(), order.begin() + c.calls))
            << "the calls, in their order";
        EXPECT_EQ(outcome, c.replaced ? "index 1" : "Impossible de créer le fichier " + path);
        EXPECT_EQ(ReadBytes(path), c.replaced ? "Langue=1;\n\r" : "Langue=0;\n\r");
        const auto entries = std::distance(std::filesystem::directory_iterator(dir.Path()),
                                           std::filesystem::directory_iterator());
        EXPECT_EQ(entries, 1) << "a temporary file was left behind";
    }
    calls = real;
}

// A record is on the disk before the append returns; one that cannot be is not left in the
// log, which keeps the bytes it had.
TEST(RecordLog, AppendSyncsTheRecordAndUndoesOneThatFailed) {
    const struct {
        const char* failing;
        std::vector<std::string> calls;
        int32_t code;
        const char* log;
    } cases[] = {
        {"", {"write log", "fdatasync log"}, 0, "old\nnew\n"},
        {"write log", {"write log", "fdatasync log"}, EIO, "old\n"},
        {"fdatasync log", {"write log", "fdatasync log", "fdatasync log"}, EIO, "old\n"},
    };
    file_access::PosixFileCalls& calls = file_access::FileCalls();
    const file_access::PosixFileCalls real = calls;
    calls = {RecordedWrite, RecordedFsync, RecordedRename, RecordedFdatasync};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("failing: ") + c.failing);
        TempDir dir;
        const std::string path = dir / "units.log";
        WriteBytes(path, "old\n");
        replaceCalls.clear();
        failingCall = c.failing;
        EXPECT_EQ(record_log::Append(path, "head\n", "new\n", "\n"), c.code);
        EXPECT_EQ(replaceCalls, c.calls);
        EXPECT_EQ(ReadBytes(path), c.log);
    }
    calls = real;
}

// A log its user may only append to (mode 222, as some lines keep theirs) is written all
// the same, by a user who may not read it.
TEST(RecordLog, AppendOnlyLogIsWrittenByAUserWhoMayNotReadIt) {
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::others_exec);
    const std::string path = dir / "units.log";
    WriteBytes(path, "old\n");
    fs::permissions(path,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write);
    const std::string said = InChildProcess(
        true, [&] { return std::to_string(record_log::Append(path, "", "new\n", "\n")); });
    EXPECT_EQ(said, "0");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadBytes(path), "old\nnew\n");
}

// A FIFO, a device or a folder at the settings path is refused at once, never waited on.
TEST(ReadLanguageSetting, WhatIsNoRegularFileIsRefusedWithoutWaiting) {
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/null"), dir.Path()}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Outcome([&] { return ReadLanguageSetting(path); }),
                  "Impossible d'ouvrir le fichier " + path);
        EXPECT_EQ(WriteOutcome(path, 1), "Impossible de créer le fichier " + path);
        std::FILE* own = file_access::OpenOwnFile(path, "a");
        EXPECT_EQ(own, nullptr);
        if (own != nullptr) std::fclose(own);
    }
}

}  // namespace
