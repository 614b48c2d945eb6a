// Start-up: the main window, the language dialog, the language stored in the settings file,
// then the event loop. One trap guards it all: an error shows its message in the
// application's error box and the program ends.
#include <QString>
#include <exception>
#include <memory>

#include "app/QuenlorApplication.h"
#include "app/SettingsFile.h"
#include "app/TDlgLectureInformation.h"
#include "dialogs/TDialogChoixLangue.h"
#include "platform/FileAccess.h"

int main(int argc, char** argv) {
    QuenlorApplication application(argc, argv);
    std::unique_ptr<TDlgLectureInformation> DlgLectureInformation;
    std::unique_ptr<TDialogChoixLangue> DialogChoixLangue;
    try {
        DlgLectureInformation = std::make_unique<TDlgLectureInformation>();
        DialogChoixLangue = std::make_unique<TDialogChoixLangue>();
        DlgLectureInformation->SetLanguageDialog(DialogChoixLangue.get());

        const std::string settingsPath = SettingsPath();
        DlgLectureInformation->SetSettingsPath(settingsPath);
        int32_t language = 0;
        if (file_access::Exists(settingsPath))
            language = ReadLanguageSetting(settingsPath);
        else
            WriteLanguageSetting(settingsPath, 0);
        DlgLectureInformation->SetLanguage(language);

        DlgLectureInformation->show();
        application.exec();
    } catch (const std::exception& error) {
        ShowApplicationError(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowApplicationError(QString());
    }
    // The main window goes first: its teardown ends the conversation and closes the port.
    DlgLectureInformation.reset();
    DialogChoixLangue.reset();
    return 0;
}
