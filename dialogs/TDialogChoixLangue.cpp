#include "dialogs/TDialogChoixLangue.h"

#include <QPushButton>
#include <optional>

#include "dialogs/Language.h"
#include "dialogs/RadioGroupColumns.h"
#include "dialogs/WindowPlacement.h"

namespace {
// The window and group caption.
constexpr TextPair kCaption = {"Choix de la Langue", "Language choice"};
// The items, the same in both languages.
const char* const kItems[2] = {"Français", "English"};
const char* const kOkCaption = "OK";

constexpr QSize kClientSize(221, 198);
constexpr QRect kOkRect(71, 164, 75, 25);
constexpr QRect kGroupRect(8, 8, 201, 137);
constexpr int kColumns = 2;
}  // namespace

TDialogChoixLangue::TDialogChoixLangue(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setFixedSize(kClientSize);
    // Created in tab order.
    OKBtn = new QPushButton(QString::fromUtf8(kOkCaption), this);
    OKBtn->setGeometry(kOkRect);
    OKBtn->setDefault(true);
    RadioGroupSelectLangue = new RadioGroupColumns(this);
    RadioGroupSelectLangue->setGeometry(kGroupRect);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(RadioGroupSelectLangue, &RadioGroupColumns::clicked, this,
            &TDialogChoixLangue::RadioGroupSelectLangueClick);

    for (const char* item : kItems) RadioGroupSelectLangue->AddItem(QString::fromUtf8(item));
    RadioGroupSelectLangue->SetItemIndex(0);
    RadioGroupSelectLangue->SetColumns(kColumns);
    ApplyLanguage();
    CentreOnScreenWhenShown(this);
}

void TDialogChoixLangue::SetLanguage(int index) {
    if (index == GetLanguage()) return;
    RadioGroupSelectLangue->SetItemIndex(index);
    ApplyLanguage();
}

int TDialogChoixLangue::GetLanguage() const { return RadioGroupSelectLangue->ItemIndex(); }

void TDialogChoixLangue::ApplyLanguage() {
    // No caption of its own for "no selection": the last captions stay.
    const std::optional<Language> language = LanguageFromIndex(GetLanguage());
    if (!language) return;
    const QString caption = QString::fromUtf8(Text(kCaption, *language));
    setWindowTitle(caption);
    RadioGroupSelectLangue->setTitle(caption);
}

void TDialogChoixLangue::RadioGroupSelectLangueClick() { ApplyLanguage(); }
