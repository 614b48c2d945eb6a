// The command line of p06-read: what it reads, how, and how it reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/CommandLine.h"
#include "dialogs/Language.h"

// What the help says differently on each system, as literals that its text is joined from:
// a device to read, and the exit status of a stop. Windows ends a console program that
// Ctrl+C stopped with STATUS_CONTROL_C_EXIT, which %ERRORLEVEL% shows as a negative number.
#ifdef _WIN32
#define HELP_DEVICE_EXAMPLE "COM5, \\\\.\\COM12"
#define HELP_STOP_STATUS_EN "  0xC000013A  stopped by Ctrl+C (%ERRORLEVEL% -1073741510)"
#define HELP_STOP_STATUS_FR "  0xC000013A  arrêté par Ctrl+C (%ERRORLEVEL% -1073741510)"
#else
#define HELP_DEVICE_EXAMPLE "/dev/ttyUSB0, COM5"
#define HELP_STOP_STATUS_EN "  128+N  stopped by signal N (130 for Ctrl+C)"
#define HELP_STOP_STATUS_FR "  128+N  arrêté par le signal N (130 pour Ctrl+C)"
#endif

struct ReaderOptions {
    bool help = false;
    bool version = false;
    bool list = false;          // list the port labels instead of reading
    int32_t port = 0;           // COM number; 0: the port that discovery chooses
    std::string device;         // a device path given instead of a COM number
    uint32_t waitSeconds = 10;  // how long the unit may take to accept the poll
    bool fast = false;          // no 300 ms pause between the steps of the reading
    Language language = Language::French;
    bool json = false;      // one JSON object instead of the lines
    bool csv = false;       // records as CSV (with --repeat)
    bool repeat = false;    // unit after unit, until stopped
    std::string logPath;    // each record also appended here
    std::string tracePath;  // the wire trace: empty none, "-" standard error
};

struct ParsedReaderOptions {
    ReaderOptions options;
    std::string error;  // empty when the command line is valid
};

inline constexpr uint32_t kLongestWaitSeconds = 86400;

// args: the arguments after the program name.
ParsedReaderOptions ParseReaderOptions(const std::vector<std::string>& args);

// The language of the messages as the arguments ask it, read before any other option: the
// last valid --lang, else French.
Language LanguageAsked(const std::vector<std::string>& args);
// The command line's own errors in that language.
CommandLineWords CommandLineWordsIn(Language language);

std::string ReaderHelpText(Language language = Language::English);
// The same in French, line for line.
std::string FrenchHelpText();
