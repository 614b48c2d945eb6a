// The port dialog against fake port tables: its design, the geometry it computes for the
// ports found, its texts in both languages, confirming a port, and the scan failure box.
#include <QApplication>
#include <QFontMetrics>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/RadioGroupColumns.h"
#include "dialogs/Tconfigurationport.h"
#include "dialogs/WindowPlacement.h"
#include "tests/gui/GuiTestHelpers.h"
#include "tests/support/FakePortTable.h"
#include "tests/support/MessageBoxAnswerer.h"

namespace {

FakePortValue Port(const std::string& name, const std::string& data,
                   const std::string& device = {}) {
    return FakePortValue{name, kRegSz, data, device};
}

// COM1 to COM<count>, each behind an ordinary driver.
std::vector<FakePortValue> Ports(int count) {
    std::vector<FakePortValue> values;
    for (int i = 0; i < count; ++i)
        values.push_back(
            Port("\\Device\\Serial" + std::to_string(i), "COM" + std::to_string(i + 1)));
    return values;
}

// COM1, the adapter's COM4 and COM7: labels COM1, "COM4 : ORVANEX", COM7.
std::vector<FakePortValue> BenchPorts() {
    return {Port("\\Device\\Serial0", "COM1", "/dev/ttyS0"),
            Port("\\Device\\Silabser0", "COM4", "/dev/ttyUSB0"),
            Port("\\Device\\Serial1", "COM7", "/dev/pts/3")};
}

struct Dialog {
    explicit Dialog(std::vector<FakePortValue> values = {}) {
        auto owned = std::make_unique<FakePortTable>(std::move(values));
        table = owned.get();
        dialog = std::make_unique<TConfPort>(nullptr, std::move(owned));
    }
    TConfPort* operator->() const { return dialog.get(); }

    FakePortTable* table;
    std::unique_ptr<TConfPort> dialog;
};

QStringList ItemTexts(const RadioGroupColumns* group) { return group->Items(); }

// Number of items in each column, in order, read from where the items are.
QList<int> ItemsPerColumn(const RadioGroupColumns* group) {
    QList<int> counts;
    int columnX = INT_MIN;
    for (int i = 0; i < group->Count(); ++i) {
        const int x = group->ItemGeometry(i).x();
        if (x != columnX) {
            counts << 0;
            columnX = x;
        }
        ++counts.back();
    }
    return counts;
}

const QString kFrenchCaption = QStringLiteral("Comfiguration du port série");

}  // namespace

class TConfPortTest : public QObject {
    Q_OBJECT

private slots:
    void constructionKeepsDesignGeometry_data();
    void constructionKeepsDesignGeometry();
    void constructionSetsFrenchTextsAndDoesNotScan();
    void windowIsFixedOnTopWithCloseBoxOnly();
    void tabOrderIsValidationGroupSearch_data();
    void tabOrderIsValidationGroupSearch();
    void showLaysOutForPortCount_data();
    void showLaysOutForPortCount();
    void captionsFollowLanguage_data();
    void captionsFollowLanguage();
    void setLanguageIgnoresOtherIndexes_data();
    void setLanguageIgnoresOtherIndexes();
    void showSelectsDiscoveryChoiceAtOnce_data();
    void showSelectsDiscoveryChoiceAtOnce();
    void validationTakesGroupItem_data();
    void validationTakesGroupItem();
    void validationWithoutSelectionIsRefused_data();
    void validationWithoutSelectionIsRefused();
    void searchReplacesUserSelection();
    void scanFailureShowsErrorThenCloses_data();
    void scanFailureShowsErrorThenCloses();
};

void TConfPortTest::constructionKeepsDesignGeometry_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("Validation") << "Validation" << QRect(0, 24, 97, 25);
    QTest::newRow("RadioGroupPortSerie") << "RadioGroupPortSerie" << QRect(3, 0, 89, 17);
    QTest::newRow("ButtonRecherchePort") << "ButtonRecherchePort" << QRect(104, 24, 147, 25);
}

void TConfPortTest::constructionKeepsDesignGeometry() {
    QFETCH(QString, control);
    QFETCH(QRect, rect);
    Dialog dialog;
    const QWidget* widget = dialog->ButtonRecherchePort;
    if (control == "Validation") widget = dialog->Validation;
    if (control == "RadioGroupPortSerie") widget = dialog->RadioGroupPortSerie;
    QCOMPARE(dialog->ControlRect(widget), rect);
    QCOMPARE(widget->geometry(), rect.translated(10, 10));
    // Controls span 251 x 49; the window adds its 10-pixel margin on every side.
    QCOMPARE(dialog->size(), QSize(271, 69));
}

void TConfPortTest::constructionSetsFrenchTextsAndDoesNotScan() {
    Dialog dialog(BenchPorts());
    QCOMPARE(dialog->windowTitle(), kFrenchCaption);
    QCOMPARE(dialog->RadioGroupPortSerie->title(), QStringLiteral("Port série"));
    QCOMPARE(dialog->Validation->text(), QStringLiteral("Valider"));
    QCOMPARE(dialog->ButtonRecherchePort->text(), QStringLiteral("Recherche des Ports"));
    QCOMPARE(dialog->LanguageIndex(), 0);
    QCOMPARE(dialog->PortNumber, 0);
    QCOMPARE(dialog->SelectedIndex, -1);
    QVERIFY(dialog->PortLabels.empty());
    QCOMPARE(dialog.table->openCount, 0);
    QCOMPARE(dialog->RadioGroupPortSerie->Count(), 0);
    QCOMPARE(dialog->font().pixelSize(), 11);
}

void TConfPortTest::windowIsFixedOnTopWithCloseBoxOnly() {
    Dialog dialog(BenchPorts());
    const Qt::WindowFlags flags = dialog->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
    QVERIFY(!dialog->windowIcon().isNull());
    QVERIFY(dialog->windowIcon().availableSizes().contains(QSize(32, 32)));
    dialog->show();
    QCOMPARE(dialog->minimumSize(), dialog->size());
    QCOMPARE(dialog->maximumSize(), dialog->size());
}

void TConfPortTest::tabOrderIsValidationGroupSearch_data() {
    QTest::addColumn<int>("ports");
    QTest::newRow("three") << 3;
    // Wider than the offscreen screen: the group scrolls in a strip of its own.
    QTest::newRow("hundred") << 100;
}

void TConfPortTest::tabOrderIsValidationGroupSearch() {
    QFETCH(int, ports);
    Dialog dialog(ports == 3 ? BenchPorts() : Ports(ports));
    dialog->show();
    QList<QWidget*> chain;
    QWidget* widget = dialog->Validation;
    do {
        chain << widget;
        widget = widget->nextInFocusChain();
    } while (widget != dialog->Validation && chain.size() < 500);
    const qsizetype firstItem = chain.indexOf(dialog->RadioGroupPortSerie->ItemButton(0));
    const qsizetype lastItem = chain.indexOf(dialog->RadioGroupPortSerie->ItemButton(ports - 1));
    const qsizetype search = chain.indexOf(dialog->ButtonRecherchePort);
    QVERIFY(firstItem > 0);
    QVERIFY(lastItem > firstItem);
    QVERIFY(search > lastItem);
}

void TConfPortTest::showLaysOutForPortCount_data() {
    QTest::addColumn<int>("ports");
    QTest::addColumn<int>("columnsShown");
    QTest::addColumn<int>("groupHeight");
    QTest::addColumn<int>("groupWidth");
    QTest::addColumn<int>("buttonTop");
    QTest::addColumn<QList<int>>("itemsPerColumn");
    QTest::addColumn<QSize>("clientSize");
    // Client width: the search button's right edge (251) or the group's, plus both margins.
    // From 100 ports on, that is wider than the 800-pixel offscreen screen.
    QTest::newRow("none") << 0 << 1 << 156 << 0 << 166 << QList<int>{} << QSize(271, 211);
    QTest::newRow("one") << 1 << 1 << 39 << 150 << 49 << QList<int>{1} << QSize(271, 94);
    QTest::newRow("ten") << 10 << 1 << 156 << 150 << 166 << QList<int>{10} << QSize(271, 211);
    QTest::newRow("eleven") << 11 << 2 << 156 << 300 << 166 << QList<int>{6, 5} << QSize(323, 211);
    QTest::newRow("twenty-one") << 21 << 3 << 156 << 450 << 166 << QList<int>{7, 7, 7}
                                << QSize(473, 211);
    QTest::newRow("hundred") << 100 << 10 << 156 << 1500 << 166 << QList<int>(10, 10)
                             << QSize(1523, 211);
    QList<int> elevenEach(14, 11);
    elevenEach << 7;
    QTest::newRow("161") << 161 << 16 << 156 << 2550 << 166 << elevenEach << QSize(2573, 211);
}

void TConfPortTest::showLaysOutForPortCount() {
    QFETCH(int, ports);
    QFETCH(int, columnsShown);
    QFETCH(int, groupHeight);
    QFETCH(int, groupWidth);
    QFETCH(int, buttonTop);
    QFETCH(QList<int>, itemsPerColumn);
    QFETCH(QSize, clientSize);

    Dialog dialog(Ports(ports));
    dialog->show();
    const RadioGroupColumns* group = dialog->RadioGroupPortSerie;

    QCOMPARE(group->Count(), ports);
    QCOMPARE(group->Columns(), columnsShown);
    QCOMPARE(dialog->ControlRect(group), QRect(3, 0, groupWidth, groupHeight));
    // Too wide for the screen, the dialog takes the screen's width and lies on it; the group
    // keeps its columns and scrolls, and the buttons go below its scroll bar.
    const QRect screen = dialog->screen()->availableGeometry();
    const int frameWidth = FrameWidth(dialog.dialog.get());
    const bool scrolls = clientSize.width() + frameWidth > screen.width();
    const auto* strip = dialog->findChild<QScrollArea*>();
    QCOMPARE(strip != nullptr, scrolls);
    const int scrollBar = scrolls ? strip->horizontalScrollBar()->height() : 0;
    QCOMPARE(dialog->ControlRect(dialog->Validation), QRect(0, buttonTop + scrollBar, 97, 25));
    QCOMPARE(dialog->ControlRect(dialog->ButtonRecherchePort),
             QRect(104, buttonTop + scrollBar, 147, 25));
    if (scrolls) {
        QCOMPARE(dialog->size(),
                 QSize(screen.width() - frameWidth, clientSize.height() + scrollBar));
        QVERIFY(screen.contains(dialog->frameGeometry()));
        QCOMPARE(strip->horizontalScrollBar()->maximum(), groupWidth - strip->viewport()->width());
    } else {
        QCOMPARE(dialog->size(), clientSize);
    }
    QCOMPARE(ItemsPerColumn(group), itemsPerColumn);
    QCOMPARE(group->ItemIndex(), ports > 0 ? 0 : -1);

    // Equal columns, and rows of one height below the caption, inside the frame.
    const int captionHeight = QFontMetrics(group->font()).height();
    for (int i = 0; i < ports; ++i) {
        const QRect item = group->ItemGeometry(i);
        QCOMPARE(item.size(), group->ItemGeometry(0).size());
        QVERIFY2(item.top() >= captionHeight, qPrintable(QString("item %1").arg(i)));
        QVERIFY2(item.bottom() < groupHeight, qPrintable(QString("item %1").arg(i)));
        QVERIFY2(item.right() < groupWidth, qPrintable(QString("item %1").arg(i)));
    }
    if (ports > 0) {
        const QRect first = group->ItemGeometry(0);
        const QRect lastOfColumn = group->ItemGeometry(itemsPerColumn.first() - 1);
        // The rows take the space below the caption: less than a row is left over.
        QVERIFY(groupHeight - lastOfColumn.bottom() <= first.height() + 8);
        if (itemsPerColumn.size() > 1)
            QCOMPARE(group->ItemGeometry(itemsPerColumn.first()).x() - first.x(), first.width());
    }
}

void TConfPortTest::captionsFollowLanguage_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("validation");
    QTest::addColumn<QString>("search");
    QTest::newRow("French") << 0 << kFrenchCaption << QStringLiteral("Port série")
                            << QStringLiteral("Valider") << QStringLiteral("Recherche des Ports");
    QTest::newRow("English") << 1 << QStringLiteral("Serial port settings")
                             << QStringLiteral("Serial port") << QStringLiteral("Valid")
                             << QStringLiteral("ports searching (in progress)");
}

void TConfPortTest::captionsFollowLanguage() {
    QFETCH(int, language);
    QFETCH(QString, window);
    QFETCH(QString, group);
    QFETCH(QString, validation);
    QFETCH(QString, search);
    Dialog dialog(BenchPorts());
    // Through the other language first, so that both directions are switched.
    dialog->SetLanguage(1 - language);
    dialog->SetLanguage(language);
    dialog->show();
    QCOMPARE(dialog->LanguageIndex(), language);
    QCOMPARE(dialog->windowTitle(), window);
    QCOMPARE(dialog->RadioGroupPortSerie->title(), group);
    QCOMPARE(dialog->Validation->text(), validation);
    QCOMPARE(dialog->ButtonRecherchePort->text(), search);
}

void TConfPortTest::setLanguageIgnoresOtherIndexes_data() {
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("index");
    QTest::newRow("French, 2") << 0 << 2;
    QTest::newRow("French, -1") << 0 << -1;
    QTest::newRow("French, INT_MIN") << 0 << INT_MIN;
    QTest::newRow("French, French again") << 0 << 0;
    QTest::newRow("English, 2") << 1 << 2;
    QTest::newRow("English, -1") << 1 << -1;
    QTest::newRow("English, English again") << 1 << 1;
}

void TConfPortTest::setLanguageIgnoresOtherIndexes() {
    QFETCH(int, current);
    QFETCH(int, index);
    Dialog dialog;
    dialog->SetLanguage(current);
    // Marks on every caption show whether the texts are applied again.
    const QString mark = QStringLiteral("mark");
    dialog->setWindowTitle(mark);
    dialog->RadioGroupPortSerie->setTitle(mark);
    dialog->Validation->setText(mark);
    dialog->ButtonRecherchePort->setText(mark);

    dialog->SetLanguage(index);
    // Had the index been taken, the current one would now count as a change.
    dialog->SetLanguage(current);

    QCOMPARE(dialog->LanguageIndex(), current);
    QCOMPARE(dialog->windowTitle(), mark);
    QCOMPARE(dialog->RadioGroupPortSerie->title(), mark);
    QCOMPARE(dialog->Validation->text(), mark);
    QCOMPARE(dialog->ButtonRecherchePort->text(), mark);
}

void TConfPortTest::showSelectsDiscoveryChoiceAtOnce_data() {
    QTest::addColumn<int>("previousPort");
    QTest::addColumn<bool>("adapterPresent");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("portNumber");
    const QStringList withAdapter{"COM1", "COM4 : ORVANEX", "COM7"};
    const QStringList withoutAdapter{"COM1", "COM4", "COM7"};
    QTest::newRow("COM1 chosen, adapter on COM4") << 1 << true << withAdapter << 1 << 4;
    QTest::newRow("no port chosen, adapter on COM4") << 0 << true << withAdapter << 1 << 4;
    QTest::newRow("COM7 chosen, adapter on COM4") << 7 << true << withAdapter << 1 << 4;
    QTest::newRow("COM7 chosen, no adapter") << 7 << false << withoutAdapter << 2 << 7;
    QTest::newRow("COM9 chosen, gone") << 9 << false << withoutAdapter << 0 << 1;
}

void TConfPortTest::showSelectsDiscoveryChoiceAtOnce() {
    QFETCH(int, previousPort);
    QFETCH(bool, adapterPresent);
    QFETCH(QStringList, items);
    QFETCH(int, selected);
    QFETCH(int, portNumber);
    std::vector<FakePortValue> values = BenchPorts();
    if (!adapterPresent) values[1].name = "\\Device\\Serial2";
    Dialog dialog(values);
    dialog->PortNumber = previousPort;

    dialog->show();
    QCOMPARE(ItemTexts(dialog->RadioGroupPortSerie), items);
    // The device file is each button's tooltip, so the column keeps the whole mark.
    const QStringList devices{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/pts/3"};
    for (int i = 0; i < devices.size(); ++i)
        QCOMPARE(dialog->RadioGroupPortSerie->ItemButton(i)->toolTip(), devices[i]);
    QCOMPARE(dialog->RadioGroupPortSerie->ItemIndex(), selected);
    QCOMPARE(dialog->PortNumber, portNumber);
    QCOMPARE(dialog->SelectedIndex, selected);

    // The close box is no cancel: the scan's choice stays.
    QVERIFY(dialog->close());
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QCOMPARE(dialog->PortNumber, portNumber);
    QCOMPARE(dialog->SelectedIndex, selected);
}

void TConfPortTest::validationTakesGroupItem_data() {
    QTest::addColumn<int>("clickedItem");  // -1: the user keeps the scan's choice
    QTest::addColumn<bool>("rescanWhileOpen");
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<int>("selectedIndex");
    QTest::newRow("adapter port as scanned") << -1 << false << 4 << 1;
    QTest::newRow("adapter port, ports rescanned while open") << -1 << true << 4 << 1;
    QTest::newRow("user picks COM7") << 2 << false << 7 << 2;
    QTest::newRow("user picks COM1, ports rescanned while open") << 0 << true << 1 << 0;
}

void TConfPortTest::validationTakesGroupItem() {
    QFETCH(int, clickedItem);
    QFETCH(bool, rescanWhileOpen);
    QFETCH(int, portNumber);
    QFETCH(int, selectedIndex);
    Dialog dialog(BenchPorts());
    dialog->show();
    QCOMPARE(dialog->RadioGroupPortSerie->ItemText(1), QStringLiteral("COM4 : ORVANEX"));
    if (clickedItem >= 0) ClickItem(dialog->RadioGroupPortSerie, clickedItem);
    if (rescanWhileOpen) {
        // The main window's idle check finds only COM9 meanwhile; the dialog's items stay.
        dialog.table->values = {Port("\\Device\\Serial9", "COM9")};
        QVERIFY(dialog->ScanPorts());
        QCOMPARE(dialog->PortNumber, 9);
    }

    QTest::mouseClick(dialog->Validation, Qt::LeftButton);

    QCOMPARE(dialog->PortNumber, portNumber);
    QCOMPARE(dialog->SelectedIndex, selectedIndex);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
}

void TConfPortTest::validationWithoutSelectionIsRefused_data() {
    QTest::addColumn<bool>("keyAbsent");
    QTest::addColumn<uint>("valueType");
    QTest::newRow("no port key") << true << uint(kRegSz);
    QTest::newRow("no values") << false << 0u;
    QTest::newRow("only numeric values") << false << uint(kRegDword);
}

void TConfPortTest::validationWithoutSelectionIsRefused() {
    QFETCH(bool, keyAbsent);
    QFETCH(uint, valueType);
    std::vector<FakePortValue> values;
    if (valueType != 0) values.push_back(FakePortValue{"\\Device\\Serial0", valueType, "COM1"});
    Dialog dialog(values);
    dialog.table->keyAbsent = keyAbsent;
    dialog->SelectedIndex = 2;
    dialog->show();
    QCOMPARE(dialog->RadioGroupPortSerie->Count(), 0);
    QCOMPARE(dialog->RadioGroupPortSerie->ItemIndex(), -1);

    QTest::mouseClick(dialog->Validation, Qt::LeftButton);

    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->PortNumber, 0);
    QCOMPARE(dialog->SelectedIndex, 2);
}

void TConfPortTest::searchReplacesUserSelection() {
    Dialog dialog(BenchPorts());
    dialog->show();
    ClickItem(dialog->RadioGroupPortSerie, 2);
    QCOMPARE(dialog->RadioGroupPortSerie->ItemIndex(), 2);
    dialog.table->values.push_back(Port("\\Device\\Serial3", "COM2"));

    QTest::mouseClick(dialog->ButtonRecherchePort, Qt::LeftButton);

    QCOMPARE(ItemTexts(dialog->RadioGroupPortSerie),
             (QStringList{"COM1", "COM2", "COM4 : ORVANEX", "COM7"}));
    QCOMPARE(dialog->RadioGroupPortSerie->ItemIndex(), 2);
    QCOMPARE(dialog->PortNumber, 4);
    QCOMPARE(dialog->ControlRect(dialog->Validation).top(), 6 * 13 + 10);
    QVERIFY(dialog->isVisible());
}

void TConfPortTest::scanFailureShowsErrorThenCloses_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("trigger");
    QTest::newRow("French, on show") << 0 << "show";
    QTest::newRow("English, on show") << 1 << "show";
    QTest::newRow("French, on modal show") << 0 << "modal";
    QTest::newRow("English, on modal show") << 1 << "modal";
    QTest::newRow("French, search button") << 0 << "search";
    QTest::newRow("English, search button") << 1 << "search";
}

void TConfPortTest::scanFailureShowsErrorThenCloses() {
    QFETCH(int, language);
    QFETCH(QString, trigger);
    Dialog dialog(BenchPorts());
    dialog->SetLanguage(language);
    if (trigger == "search") {
        dialog->show();
        QCOMPARE(dialog->RadioGroupPortSerie->Count(), 3);
    }
    dialog.table->infoFails = true;
    auto seen = std::make_shared<MessageBoxSeen>();
    AnswerNextMessageBox(seen);

    bool stillOpenAfterBox = false;
    if (trigger == "search") {
        QTest::mouseClick(dialog->ButtonRecherchePort, Qt::LeftButton);
        stillOpenAfterBox = dialog->isVisible();
    } else if (trigger == "show") {
        dialog->show();
        stillOpenAfterBox = dialog->isVisible();
    } else {
        // Should the dialog not close itself, this ends the modal loop all the same.
        bool forced = false;
        QTimer::singleShot(3000, dialog.dialog.get(), [&dialog, &forced] {
            forced = true;
            dialog->reject();
        });
        dialog->exec();
        QVERIFY(!forced);
        stillOpenAfterBox = true;
    }
    seen->stop = true;

    QVERIFY(seen->found);
    QCOMPARE(seen->title, QStringLiteral("Erreur"));
    QCOMPARE(seen->text, QStringLiteral(" Pas de port serie"));
    QCOMPARE(seen->icon, QMessageBox::Critical);
    QCOMPARE(seen->buttons, QStringList{"OK"});
    QCOMPARE(dialog->PortNumber, 0);
    // The close is posted: the dialog goes once the event loop gets to it.
    QVERIFY(stillOpenAfterBox);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 1000);
    QCOMPARE(dialog->RadioGroupPortSerie->Count(), trigger == "search" ? 3 : 0);
}

QTEST_MAIN(TConfPortTest)
#include "TConfPort_test.moc"
