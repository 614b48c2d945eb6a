// Where the settings file lives on Linux: the user's configuration folder, made on demand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "core/SettingsFile.h"
#include "platform/FileError.h"
#include "platform/SettingsDirectory.h"
#include "tests/support/PosixChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// Sets or unsets an environment variable for one test and puts it back afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        Set(value);
    }
    ~ScopedVariable() { Set(old_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    void Set(const std::optional<std::string>& value) {
        if (value)
            setenv(name_, value->c_str(), 1);
        else
            unsetenv(name_);
    }
    const char* name_;
    std::optional<std::string> old_;
};

TEST(LinuxSettingsDirectory, FollowsTheConfigurationHome) {
    TempDir dir;
    struct Case {
        const char* what;
        std::optional<std::string> configHome;
        std::string expected;
    };
    const Case cases[] = {
        {"XDG_CONFIG_HOME set", dir / "config", dir / "config/quenlor"},
        {"XDG_CONFIG_HOME unset", std::nullopt, dir / "home/.config/quenlor"},
        {"XDG_CONFIG_HOME empty", std::string(), dir / "home/.config/quenlor"},
        {"XDG_CONFIG_HOME relative", std::string("config"), dir / "home/.config/quenlor"},
    };
    ScopedVariable home("HOME", dir / "home");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "config");
        fs::remove_all(dir / "home");
        ScopedVariable configHome("XDG_CONFIG_HOME", c.configHome);
        EXPECT_EQ(SettingsDirectory(), c.expected);
        EXPECT_TRUE(fs::is_directory(c.expected)) << "the folder was not made";
        EXPECT_EQ(SettingsPath(), c.expected + "/QuenlorV1.CFG");
        // The alias folder is named, not made: the simulator makes it when it registers.
        EXPECT_EQ(PortAliasDirectory(), c.expected + "/ports");
        EXPECT_FALSE(fs::exists(c.expected + "/ports"));
    }
}

TEST(LinuxSettingsDirectory, KeepsAnExistingFolderAndItsFiles) {
    TempDir dir;
    ScopedVariable configHome("XDG_CONFIG_HOME", dir.Path());
    fs::create_directory(dir / "quenlor");
    std::ofstream(dir / "quenlor/QuenlorV1.CFG") << "Langue=1;\n\r";
    EXPECT_EQ(SettingsDirectory(), dir / "quenlor");
    EXPECT_EQ(fs::file_size(dir / "quenlor/QuenlorV1.CFG"), 11u);
}

TEST(LinuxSettingsDirectory, WithoutHomeRaisesAFileError) {
    ScopedVariable configHome("XDG_CONFIG_HOME", std::nullopt);
    ScopedVariable home("HOME", std::nullopt);
    EXPECT_THROW(SettingsDirectory(), FileError);
    try {
        SettingsDirectory();
    } catch (const FileError& error) {
        EXPECT_STREQ(error.what(),
                     "Impossible de trouver le dossier personnel : HOME n'est pas défini");
    }
}

TEST(LinuxSettingsDirectory, FolderThatCannotBeMadeRaisesAFileError) {
    TempDir dir;
    // A file where a folder of the path should be: no user, root included, can make it.
    std::ofstream(dir / "config") << "not a folder";
    ScopedVariable configHome("XDG_CONFIG_HOME", dir / "config");
    try {
        SettingsDirectory();
        ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
        // The system's reason in the box's language too.
        EXPECT_EQ(std::string(error.what()),
                  "Impossible de créer le dossier " + (dir / "config/quenlor"));
        EXPECT_EQ(error.reason(), "N'est pas un dossier");
    }
}

// Rights dropped with HOME left at root's: the folder cannot even be looked at.
TEST(LinuxSettingsDirectory, FolderThatCannotBeEnteredRaisesAFileError) {
    TempDir dir;
    std::filesystem::create_directories(dir / "closed/config");
    std::filesystem::permissions(dir / "closed", std::filesystem::perms::owner_all);
    ScopedVariable configHome("XDG_CONFIG_HOME", dir / "closed/config");
    const std::string said = InChildProcess(true, [] {
        try {
            return "no error: " + SettingsDirectory();
        } catch (const FileError& error) {
            return std::string(error.what()) + "\n" + error.reason();
        }
    });
    EXPECT_EQ(said, "Impossible de créer le dossier " + (dir / "closed/config/quenlor") +
                        "\nPermission refusée");
}

}  // namespace
