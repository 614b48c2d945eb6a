// The settings file: one line "Langue=<index>;" that keeps the language index between runs.
// Reading is lenient (any text around the line, blanks, hexadecimal); writing always gives
// the same 11 bytes. File failures raise FileError carrying the message shown to the user.
#pragma once

#include <cstdint>
#include <string>

// The settings file's name, in the settings directory.
inline constexpr const char* kSettingsFileName = "QuenlorV1.CFG";

// The settings directory, the separator and the file name: the path messages show.
std::string SettingsPath();

// The integer the text of a settings file holds; 0 when it holds no whole number.
int32_t ParseLanguageSetting(const std::string& text);

// Reads the existing file at path; throws FileError when it cannot be opened.
int32_t ReadLanguageSetting(const std::string& path);

// Why the line is written: a new value, or start-up writing back the value that it has just
// read (which goes back to the file it was read from: on Windows, a per-user copy stays the
// copy, and one user's value never reaches the Windows directory).
enum class SettingsWrite { kNewValue, kWriteBack };

// Creates or truncates the file at path and writes the line for index; throws FileError
// when the file cannot be created or the line is not written whole.
void WriteLanguageSetting(const std::string& path, int32_t index,
                          SettingsWrite why = SettingsWrite::kNewValue);
