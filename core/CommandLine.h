// The command-line convention shared by p06-read and p06-sim: getopt_long with long and
// short options, whole numbers checked in full, one wording and one exit status for a bad
// option, and the --version line.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// A bad option or value, in both programs.
inline constexpr int kExitBadOption = 1;

struct OptionDefinition {
    const char* longName;  // without the dashes
    char shortName;        // 0: none
    bool takesValue;
};

// Stores one option's value; returns the error, empty when the value is good.
using ApplyOption =
    std::function<std::string(const OptionDefinition& option, const std::string& value)>;

// The wording of the command line's own errors, in the user's language; %1 stands for the
// option or argument as typed, or for the program in tryHelp.
struct CommandLineWords {
    const char* needsValue = "option '%1' needs a value";
    const char* takesNoValue = "option '%1' takes no value";
    const char* unknown = "unknown option '%1'";
    const char* ambiguous = "option '%1' is ambiguous: it may be %2";
    const char* unexpected = "unexpected argument '%1'";
    const char* tryHelp = "Try '%1 --help' for more information.";
};

// args: the arguments after the program name. Returns the first error, empty when every
// option was understood and applied; an argument that is not an option is an error.
std::string ParseCommandLine(const std::vector<std::string>& args,
                             const std::vector<OptionDefinition>& definitions,
                             const ApplyOption& apply, const CommandLineWords& words = {});

// A whole decimal number within [low, high]; nothing else (no sign, no spaces, no suffix).
std::optional<uint64_t> ParseWholeNumber(const std::string& text, uint64_t low, uint64_t high);

// "p06-read: <error>\nTry 'p06-read --help' for more information.\n"
std::string BadOptionText(const std::string& program, const std::string& error,
                          const CommandLineWords& words = {});

// "p06-read 1.1.0\n"
std::string VersionLine(const std::string& program);
