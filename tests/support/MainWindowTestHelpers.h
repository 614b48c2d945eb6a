// Helpers shared by the tests of the main window: its text box as lines, the expected lines
// of a reading as Qt strings, the idle window, and the port dialog answered as a user would.
#pragma once

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTimer>

#include "app/TDlgLectureInformation.h"
#include "dialogs/RadioGroupColumns.h"
#include "dialogs/Tconfigurationport.h"
#include "tests/support/ExpectedReading.h"

inline QStringList ToQt(const TextLines& lines) {
    QStringList list;
    for (const std::string& line : lines) list << QString::fromStdString(line);
    return list;
}

// The lines of a reading that ends with the success report, and of one that stops on a unit
// of another type.
inline QStringList ReadingLines(int32_t language, const ReadUnit& unit = {}) {
    return ToQt(SuccessfulReading(language, unit));
}
inline QStringList WrongTypeLines(int32_t language) { return ToQt(WrongTypeReading(language)); }

// The six lines of instructions each language appends to the text box.
inline const QStringList kFrenchInstructions = {
    QStringLiteral("Lecture des Informations de l'appareil Emetteur Radio TALVERN8"),
    QStringLiteral(" "),
    QStringLiteral("Connecter votre appareil Emetteur Radio TALVERN8 au PC"),
    QStringLiteral("Allumer l'appareil Emetteur Radio TALVERN8."),
    QStringLiteral("Choisir ensuite le port serie à utiliser."),
    QStringLiteral(
        "Et pour lire les informations, appuyer sur le bouton < Lecture des informations >."),
};
inline const QStringList kEnglishInstructions = {" ", " ", " ", " ", " ", " "};

inline QStringList MemoLines(const TDlgLectureInformation& window) {
    return window.MemoInformation->toPlainText().split(u'\n');
}

// The window is idle and usable again: no reading, the read, port and language buttons back.
inline bool Idle(const TDlgLectureInformation& window) {
    return window.ReadingState() == 0 && window.ButtonLectureInfo->isEnabled() &&
           window.ButtonConfigPort->isEnabled() && window.ButtonChoixLangue->isEnabled();
}

// Picks the item of port `label` ("COM7", or "COM7 (...)") in the port dialog when it opens,
// keeps the item's text in `confirmed` and confirms; the close box when there is no such item.
inline void ConfirmPortWhenDialogOpens(const QString& label, QString* confirmed,
                                       int triesLeft = 400) {
    QTimer::singleShot(5, [label, confirmed, triesLeft] {
        auto* dialog = qobject_cast<TConfPort*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            if (triesLeft > 0) ConfirmPortWhenDialogOpens(label, confirmed, triesLeft - 1);
            return;
        }
        const QStringList items = dialog->RadioGroupPortSerie->Items();
        for (int i = 0; i < items.size(); ++i) {
            if (items[i] == label || items[i].startsWith(label + ' ')) {
                dialog->RadioGroupPortSerie->ItemButton(i)->click();
                *confirmed = items[i];
            }
        }
        dialog->Validation->click();
        dialog->close();
    });
}
