#include "dialogs/DialogFont.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

namespace {
constexpr int kPixelSize = 11;

// Faces whose metrics come closest to MS Sans Serif at this size, best first.
const char* const kFamilies[] = {"MS Sans Serif", "DejaVu Sans", "Liberation Sans", "Arial",
                                 "Helvetica"};

// Space kept clear on each side of a caption inside its button.
constexpr int kCaptionPadding = 2;
// Narrowest stretch a caption is set in, in percent of the face's normal width.
constexpr int kNarrowestStretch = 60;
}  // namespace

QFont DialogFont() {
    const QStringList available = QFontDatabase::families();
    // Unknown families fall back on the style hint below.
    QFont font(QStringLiteral("Sans Serif"));
    for (const char* family : kFamilies) {
        if (available.contains(QString::fromLatin1(family), Qt::CaseInsensitive)) {
            font.setFamily(QString::fromLatin1(family));
            break;
        }
    }
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kPixelSize);
    return font;
}

void FitButtonCaption(QPushButton* button) {
    // Start again from the font the button inherits, so that a shorter caption (the
    // other language) gets its normal width back.
    button->setFont(QFont());

    QStyleOptionButton option;
    option.initFrom(button);
    const int room =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width() -
        2 * kCaptionPadding;
    const QString text = button->text();
    QFont font = button->font();
    const int width = QFontMetrics(font).horizontalAdvance(text);
    if (width <= room || width == 0) return;
    int stretch = std::max(kNarrowestStretch, 100 * room / width);
    font.setStretch(stretch);
    while (stretch > kNarrowestStretch && QFontMetrics(font).horizontalAdvance(text) > room)
        font.setStretch(--stretch);
    button->setFont(font);
}
