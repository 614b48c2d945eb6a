// The language dialog: French or English as two radio buttons. The selected position is
// the language index (0 French, 1 English); the captions follow the choice at once.
#pragma once

#include <QDialog>

class QPushButton;
class RadioGroupColumns;

class TDialogChoixLangue : public QDialog {
    Q_OBJECT

public:
    explicit TDialogChoixLangue(QWidget* owner = nullptr);

    // Selects position index when it is not the selected one, then re-applies the captions.
    void SetLanguage(int index);
    // The selected position.
    int GetLanguage() const;
    void ApplyLanguage();

    QPushButton* OKBtn;
    RadioGroupColumns* RadioGroupSelectLangue;

private:
    void RadioGroupSelectLangueClick();
};
