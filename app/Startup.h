// Start-up: the main window, the language dialog, the language stored in the settings file,
// then the event loop. main() is only this; the window tests and the demo driver build the
// windows through the same code.
#pragma once

#include <memory>

#include "app/TDlgLectureInformation.h"
#include "dialogs/TDialogChoixLangue.h"

class QuenlorApplication;

// The two windows that live for the whole run.
struct ApplicationWindows {
    std::unique_ptr<TDlgLectureInformation> DlgLectureInformation;
    std::unique_ptr<TDialogChoixLangue> DialogChoixLangue;

    // The main window goes first: its teardown ends the conversation and closes the port.
    void Destroy();
};

// Builds the main window and the language dialog, finds the settings file, creates it with
// French when it is missing, and hands the stored language index to the main window.
// Throws FileError when the settings file cannot be opened or created; what was built by
// then stays in windows for the caller to tear down.
void BuildApplicationWindows(ApplicationWindows& windows, WindowSeams seams = {});

// The whole start-up under its error trap: builds the windows, shows the main window and
// runs the event loop until it closes. An error shows the application's error box and ends
// the program without (or without going on) running the loop. Always returns 0.
int RunStartup(QuenlorApplication& application, WindowSeams seams = {});
