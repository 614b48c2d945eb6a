// The settings directory on Linux: the user's configuration folder for the program, as the
// desktop's base directory rules give it. Made on first use, so a first run can write there.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/FileError.h"
#include "platform/SettingsDirectory.h"
#include "platform/SystemError.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kProgramFolder = "quenlor";
constexpr const char* kPortAliasFolder = "ports";
constexpr int32_t kFrenchIndex = 0;

// The base directory rules say to ignore an empty or relative XDG_CONFIG_HOME.
fs::path ConfigurationHome() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && fs::path(configHome).is_absolute()) return configHome;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        throw FileError("Impossible de trouver le dossier personnel : HOME n'est pas défini");
    return fs::path(home) / ".config";
}

}  // namespace

std::string SettingsDirectory() {
    fs::path directory = ConfigurationHome() / kProgramFolder;
    std::error_code error;
    fs::create_directories(directory, error);
    // A folder the user may not enter (HOME left at another user's after dropping rights)
    // is no folder of theirs: said like one that cannot be made, never thrown past us.
    std::error_code lookError;
    if (!fs::is_directory(directory, lookError)) {
        if (!error) error = lookError;
        // The box is French, as the window is before the settings file is read; so is the
        // system's reason.
        throw FileError("Impossible de créer le dossier " + directory.string(),
                        error ? SystemErrorText(error.value(), kFrenchIndex) : std::string(),
                        directory.string(), error.value());
    }
    return directory.string();
}

char PathSeparator() { return '/'; }

std::string PortAliasDirectory() {
    return SettingsDirectory() + PathSeparator() + kPortAliasFolder;
}

const char* SettingsFilesHelp() {
    return "  $XDG_CONFIG_HOME/quenlor/QuenlorV1.CFG   the language (~/.config when unset)\n"
           "  $XDG_CONFIG_HOME/quenlor/ports/COM<n>   aliases giving a device a COM number\n";
}
