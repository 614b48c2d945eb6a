// The language dialog: its design, its captions in both languages, SetLanguage, and the
// captions following the user's clicks at once.
#include "dialogs/TDialogChoixLangue.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "dialogs/RadioGroupColumns.h"
#include "tests/gui/GuiTestHelpers.h"

namespace {
const QString kFrench = QStringLiteral("Choix de la Langue");
const QString kEnglish = QStringLiteral("Language choice");

QString CaptionOf(int language) { return language == 1 ? kEnglish : kFrench; }
}  // namespace

class TDialogChoixLangueTest : public QObject {
    Q_OBJECT

private slots:
    void constructionSelectsFrench();
    void designGeometry_data();
    void designGeometry();
    void itemsSideBySide();
    void setLanguage_data();
    void setLanguage();
    void setLanguageToSelectedPositionChangesNothing_data();
    void setLanguageToSelectedPositionChangesNothing();
    void captionsFollowClicksAtOnce_data();
    void captionsFollowClicksAtOnce();
    void closingKeepsChoice_data();
    void closingKeepsChoice();
    void tabIntoGroupLandsOnCheckedItem_data();
    void tabIntoGroupLandsOnCheckedItem();
};

void TDialogChoixLangueTest::constructionSelectsFrench() {
    TDialogChoixLangue dialog;
    QCOMPARE(dialog.GetLanguage(), 0);
    QCOMPARE(dialog.windowTitle(), kFrench);
    QCOMPARE(dialog.RadioGroupSelectLangue->title(), kFrench);
    QCOMPARE(dialog.RadioGroupSelectLangue->Items(),
             (QStringList{QStringLiteral("Français"), QStringLiteral("English")}));
    QCOMPARE(dialog.RadioGroupSelectLangue->Columns(), 2);
    QCOMPARE(dialog.OKBtn->text(), QStringLiteral("OK"));
    QVERIFY(dialog.OKBtn->isDefault());
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
}

void TDialogChoixLangueTest::designGeometry_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("window") << "window" << QRect(0, 0, 221, 198);
    QTest::newRow("OKBtn") << "OKBtn" << QRect(71, 164, 75, 25);
    QTest::newRow("RadioGroupSelectLangue") << "RadioGroupSelectLangue" << QRect(8, 8, 201, 137);
}

void TDialogChoixLangueTest::designGeometry() {
    QFETCH(QString, control);
    QFETCH(QRect, rect);
    TDialogChoixLangue dialog;
    dialog.show();
    if (control == "window") {
        QCOMPARE(dialog.rect(), rect);
        QCOMPARE(dialog.minimumSize(), rect.size());
        QCOMPARE(dialog.maximumSize(), rect.size());
    } else if (control == "OKBtn") {
        QCOMPARE(dialog.OKBtn->geometry(), rect);
    } else {
        QCOMPARE(dialog.RadioGroupSelectLangue->geometry(), rect);
    }
}

void TDialogChoixLangueTest::itemsSideBySide() {
    TDialogChoixLangue dialog;
    dialog.show();
    const QRect french = dialog.RadioGroupSelectLangue->ItemGeometry(0);
    const QRect english = dialog.RadioGroupSelectLangue->ItemGeometry(1);
    QCOMPARE(english.top(), french.top());
    QCOMPARE(english.size(), french.size());
    QVERIFY(english.left() > french.right());
    QVERIFY(english.right() < dialog.RadioGroupSelectLangue->width());
}

void TDialogChoixLangueTest::setLanguage_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("language");
    QTest::newRow("French to English") << 0 << 1 << 1;
    QTest::newRow("English to French") << 1 << 0 << 0;
    QTest::newRow("English again") << 1 << 1 << 1;
    QTest::newRow("French again") << 0 << 0 << 0;
}

void TDialogChoixLangueTest::setLanguage() {
    QFETCH(int, start);
    QFETCH(int, index);
    QFETCH(int, language);
    TDialogChoixLangue dialog;
    dialog.SetLanguage(start);
    dialog.SetLanguage(index);
    QCOMPARE(dialog.GetLanguage(), language);
    QCOMPARE(dialog.RadioGroupSelectLangue->ItemIndex(), language);
    QCOMPARE(dialog.windowTitle(), CaptionOf(language));
    QCOMPARE(dialog.RadioGroupSelectLangue->title(), CaptionOf(language));
}

void TDialogChoixLangueTest::setLanguageToSelectedPositionChangesNothing_data() {
    QTest::addColumn<int>("language");
    QTest::newRow("French") << 0;
    QTest::newRow("English") << 1;
}

void TDialogChoixLangueTest::setLanguageToSelectedPositionChangesNothing() {
    QFETCH(int, language);
    TDialogChoixLangue dialog;
    dialog.SetLanguage(language);
    // Marks show whether the captions are applied again.
    dialog.setWindowTitle(QStringLiteral("mark"));
    dialog.RadioGroupSelectLangue->setTitle(QStringLiteral("mark"));
    dialog.SetLanguage(language);
    QCOMPARE(dialog.GetLanguage(), language);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("mark"));
    QCOMPARE(dialog.RadioGroupSelectLangue->title(), QStringLiteral("mark"));
}

void TDialogChoixLangueTest::captionsFollowClicksAtOnce_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<QList<int>>("clicks");
    QTest::newRow("English") << 0 << QList<int>{1};
    QTest::newRow("English, then Français") << 0 << QList<int>{1, 0};
    QTest::newRow("Français from English") << 1 << QList<int>{0};
    QTest::newRow("English twice") << 0 << QList<int>{1, 1};
}

void TDialogChoixLangueTest::captionsFollowClicksAtOnce() {
    QFETCH(int, start);
    QFETCH(QList<int>, clicks);
    TDialogChoixLangue dialog;
    dialog.SetLanguage(start);
    dialog.show();
    for (int item : clicks) {
        ClickItem(dialog.RadioGroupSelectLangue, item);
        QCOMPARE(dialog.GetLanguage(), item);
        QCOMPARE(dialog.windowTitle(), CaptionOf(item));
        QCOMPARE(dialog.RadioGroupSelectLangue->title(), CaptionOf(item));
    }
    QVERIFY(dialog.isVisible());
}

void TDialogChoixLangueTest::closingKeepsChoice_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("close box") << "close box" << int(QDialog::Rejected);
    QTest::newRow("OK button") << "OK button" << int(QDialog::Accepted);
    QTest::newRow("Enter key") << "Enter key" << int(QDialog::Accepted);
}

void TDialogChoixLangueTest::closingKeepsChoice() {
    QFETCH(QString, how);
    QFETCH(int, result);
    TDialogChoixLangue dialog;
    dialog.show();
    ClickItem(dialog.RadioGroupSelectLangue, 1);
    if (how == "close box")
        QVERIFY(dialog.close());
    else if (how == "OK button")
        QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
    else
        QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), result);
    QCOMPARE(dialog.GetLanguage(), 1);
    QCOMPARE(dialog.windowTitle(), kEnglish);
}

void TDialogChoixLangueTest::tabIntoGroupLandsOnCheckedItem_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("backwards");
    QTest::newRow("Français checked, Tab") << 0 << false;
    QTest::newRow("English checked, Tab") << 1 << false;
    QTest::newRow("English checked, Shift+Tab") << 1 << true;
}

void TDialogChoixLangueTest::tabIntoGroupLandsOnCheckedItem() {
    QFETCH(int, language);
    QFETCH(bool, backwards);
    TDialogChoixLangue dialog;
    dialog.SetLanguage(language);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.OKBtn->setFocus();

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                    backwards ? Qt::ShiftModifier : Qt::NoModifier);
    QCOMPARE(QApplication::focusWidget(), dialog.RadioGroupSelectLangue->ItemButton(language));
    // The group is one stop: the next Tab leaves it.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), dialog.OKBtn);
}

QTEST_MAIN(TDialogChoixLangueTest)
#include "TDialogChoixLangue_test.moc"
