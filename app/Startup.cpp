#include "app/Startup.h"

#include <QString>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "app/QuenlorApplication.h"
#include "core/SettingsFile.h"
#include "platform/FileAccess.h"

void ApplicationWindows::Destroy() {
    DlgLectureInformation.reset();
    DialogChoixLangue.reset();
}

void BuildApplicationWindows(ApplicationWindows& windows, WindowSeams seams) {
    // The first window made is the application's main window: closing it ends the run.
    windows.DlgLectureInformation =
        std::make_unique<TDlgLectureInformation>(nullptr, std::move(seams));
    windows.DialogChoixLangue = std::make_unique<TDialogChoixLangue>();
    windows.DlgLectureInformation->SetLanguageDialog(windows.DialogChoixLangue.get());

    const std::string settingsPath = SettingsPath();
    windows.DlgLectureInformation->SetSettingsPath(settingsPath);
    int32_t language = 0;
    if (file_access::Exists(settingsPath))
        language = ReadLanguageSetting(settingsPath);
    else
        WriteLanguageSetting(settingsPath, IndexOf(Language::French));
    // The window stands at French already: only 1 changes it (and rewrites the file, where
    // it was read from).
    windows.DlgLectureInformation->SetLanguage(language, SettingsWrite::kWriteBack);
}

int RunStartup(QuenlorApplication& application, WindowSeams seams) {
    ApplicationWindows windows;
    try {
        BuildApplicationWindows(windows, std::move(seams));
        windows.DlgLectureInformation->show();
        application.exec();
    } catch (const std::exception& error) {
        ShowApplicationError(ErrorTextOf(error));
    } catch (...) {
        ShowApplicationError(QString());
    }
    windows.Destroy();
    return 0;
}
