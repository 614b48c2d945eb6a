#include <windows.h>

#include <csignal>
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

void CatchStopSignals() { SetConsoleCtrlHandler(NoteStop, TRUE); }

int StopSignal() { return static_cast<int>(stopSignal); }

void EndWithSignal(int) {
    // What a console program stopped by Ctrl+C ends with.
    std::_Exit(static_cast<int>(STATUS_CONTROL_C_EXIT));
}
