// What a program of the bench does with its own process: its standard streams and the
// signals that ask it to stop. POSIX and Win32 each have their file; the build picks one.
#pragma once

#include <string>

// Opens /dev/null on each of the standard descriptors 0 to 2 that is closed, so that no file
// the program opens later (a serial port) takes their place and receives its output. Called
// first thing in main. Nothing to do on Windows.
void EnsureStandardStreams();

// A window program has no console of its own on Windows: before it answers --version or
// --help, its standard output and error go to the console it was started from, when there is
// one and they lead nowhere else. Nothing to do on POSIX, where they are the terminal's.
void UseParentConsole();

// From now on SIGINT, SIGTERM and SIGHUP (Ctrl+C and closing the console on Windows) only
// note that a stop was asked for; a blocked call they interrupt fails. SIGPIPE and SIGXFSZ
// are ignored: a write to a closed pipe or past the file size limit fails instead. A second
// stop signal ends the process at once, as that signal would, once the serial ports it
// holds have their settings back (on POSIX; Windows ends the process on its own terms).
void CatchStopSignals();

// What the process says when a second stop ends it at once (POSIX): output (a record of
// the reading cut short) on standard output, error (why) on standard error. Each call
// replaces the last; texts beyond 4 KiB are cut.
void SetLastWords(const std::string& output, const std::string& error);

// The signal that asked for a stop; 0 when none did.
int StopSignal();

// Ends the process as that signal would have, now that the program has cleaned up.
[[noreturn]] void EndWithSignal(int signal);
