// Answers the application's next modal message box from a timer, as a user would, and
// keeps what it showed so that the test can check it once the box is gone.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <memory>

// The system's own reason, in French, under a settings box whose file is in a folder that
// does not exist.
#ifdef _WIN32
inline const QString kMissingFolderReason =
    QStringLiteral("Le chemin d'accès spécifié est introuvable.");
#else
inline const QString kMissingFolderReason = QStringLiteral("Aucun fichier ou dossier de ce type.");
#endif

struct MessageBoxSeen {
    bool found = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    bool stop = false;  // set by the test when it no longer expects a box
};

// Looks for the box every few milliseconds for up to a second, then presses its first
// button.
inline void AnswerNextMessageBox(std::shared_ptr<MessageBoxSeen> seen, int triesLeft = 200) {
    QTimer::singleShot(5, [seen, triesLeft] {
        if (seen->stop) return;
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            if (triesLeft > 0) AnswerNextMessageBox(seen, triesLeft - 1);
            return;
        }
        seen->found = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        for (const QAbstractButton* button : box->buttons()) seen->buttons << button->text();
        if (!box->buttons().isEmpty())
            box->buttons().first()->click();
        else
            box->reject();
    });
}
