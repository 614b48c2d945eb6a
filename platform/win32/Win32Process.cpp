#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/Process.h"

namespace {

volatile LONG stopSignal = 0;

// Runs on its own thread: only a store, the program cleans up when its step returns.
BOOL WINAPI NoteStop(DWORD event) {
    InterlockedExchange(&stopSignal, event == CTRL_C_EVENT ? SIGINT : SIGTERM);
    return TRUE;
}

}  // namespace

void EnsureStandardStreams() {}

void UseParentConsole() {
    // Windows gives a window program started from a console no standard handles; a stream
    // redirected to a file or a pipe has one and keeps it.
    auto leadsNowhere = [](DWORD stream, std::FILE* file) {
        const HANDLE handle = GetStdHandle(stream);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE || _fileno(file) < 0;
    };
    const bool output = leadsNowhere(STD_OUTPUT_HANDLE, stdout);
    const bool error = leadsNowhere(STD_ERROR_HANDLE, stderr);
    if (!output && !error) return;
    // Fails when the parent has no console (started from Explorer): nothing to print into.
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED) return;
    if (output) std::freopen("CONOUT$", "w", stdout);
    if (error) std::freopen("CONOUT$", "w", stderr);
}

void CatchStopSignals() { SetConsoleCtrlHandler(NoteStop, TRUE); }

// A second Ctrl+C only notes the stop again: the program always ends on its own terms.
void SetLastWords(const std::string&, const std::string&) {}

int StopSignal() { return static_cast<int>(stopSignal); }

void EndWithSignal(int) {
    // What a console program stopped by Ctrl+C ends with.
    std::_Exit(static_cast<int>(STATUS_CONTROL_C_EXIT));
}
