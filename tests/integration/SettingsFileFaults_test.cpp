// The settings file when the file system works against it: a full disk, a folder the user
// may not write, a file another program keeps open. Each must end in the file layer's
// error with the message the user sees, and a failed write must leave the file as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "TempDir.h"
#include "app/SettingsFile.h"
#include "platform/FileError.h"

namespace {

constexpr uid_t kNobody = 65534;

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

// Runs `call` in a child process that has given up root for nobody (when it was root:
// root writes anywhere), and returns the message of the FileError it raised.
std::string ErrorAsNobody(const std::function<void()>& call) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        if (geteuid() == 0 && (setresgid(kNobody, kNobody, kNobody) != 0 ||
                               setresuid(kNobody, kNobody, kNobody) != 0)) {
            _exit(2);
        }
        const std::string message = ErrorOf(call);
        const bool sent = write(pipeFds[1], message.data(), message.size()) ==
                          static_cast<ssize_t>(message.size());
        _exit(sent ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string message;
    char buffer[256];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) message.append(buffer, got);
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
    return message;
}

// Another program with the settings file open: it holds the file's lock, as the program's
// own file calls do, until it is killed.
class FileHolder {
public:
    explicit FileHolder(const std::string& path) {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            const int fd = open(path.c_str(), O_RDONLY);
            const char answer = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
            if (write(ready[1], &answer, 1) != 1) _exit(1);
            for (;;) pause();
        }
        close(ready[1]);
        char answer = 'n';
        held_ = read(ready[0], &answer, 1) == 1 && answer == 'y';
        close(ready[0]);
    }
    ~FileHolder() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    bool Held() const { return held_; }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

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
    EXPECT_EQ(ErrorAsNobody([&] { WriteLanguageSetting(path, 1); }), CreateError(path));
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
        FileHolder holder(path);
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
