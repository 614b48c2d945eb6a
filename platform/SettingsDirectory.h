// Where the settings file lives: the Windows directory on Windows; on Linux the user's
// configuration folder for the program, created when missing.
#pragma once

#include <string>

// Throws FileError when the directory cannot be found or made.
std::string SettingsDirectory();
// The platform's path separator.
char PathSeparator();
// On Linux, where port aliases COM<n> live: <settings directory>/ports.
std::string PortAliasDirectory();
// The "Files:" lines of the window program's --help: where this platform keeps the settings
// file and finds the COM ports.
const char* SettingsFilesHelp();
