// Small helpers shared by the window tests.
#pragma once

#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include "dialogs/RadioGroupColumns.h"

// Clicks item index of a group on its round indicator, where a user aims: the middle of
// the button may lie beyond its text, outside the part that takes clicks.
inline void ClickItem(RadioGroupColumns* group, int index) {
    QRadioButton* button = group->ItemButton(index);
    QVERIFY2(button != nullptr, "no such item");
    QStyleOptionButton option;
    option.initFrom(button);
    const QRect indicator =
        button->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, button);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, indicator.center());
}
