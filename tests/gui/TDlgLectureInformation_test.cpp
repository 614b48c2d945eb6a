// The main window against the fake line, clock and port table: its layout and texts in both
// languages, the language switch and its settings file, the read button's first state, the
// tab order, the teardown of the link, and the reading sequence driven tick by tick against
// the device model.
#include "app/TDlgLectureInformation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/RadioGroupColumns.h"
#include "dialogs/TDialogChoixLangue.h"
#include "dialogs/Tconfigurationport.h"
#include "tests/gui/MainWindowBench.h"
#include "tests/support/MainWindowTestHelpers.h"
#include "tests/support/MessageBoxAnswerer.h"

namespace {

// The lines below the first `skip`.
QStringList LinesAfter(const TDlgLectureInformation& window, int skip) {
    return MemoLines(window).mid(skip);
}

QByteArray FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return QByteArray::fromStdString(
        std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
}

// Lines each tick of a whole reading writes (ticks 1 to 6), then the report.
const int kLinesPerTick[] = {2, 3, 1, 1, 1, 2};
constexpr int kReportLines = 4;

void DeliverPostedMessages() { QCoreApplication::sendPostedEvents(); }

// Clicks the read button's handler and runs the six ticks and the report.
void RunWholeReading(BenchWindow& window) {
    window.ButtonLectureInfoClick();
    for (int tick = 0; tick < 6; ++tick) window.TimerGestConnectionTimer();
    DeliverPostedMessages();
}

// Lets the test look at the application while the next modal box is open, then presses
// the box's first button.
void WhenBoxOpens(std::function<void(QMessageBox*)> look, int triesLeft = 200) {
    QTimer::singleShot(5, [look, triesLeft] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            if (triesLeft > 0) WhenBoxOpens(look, triesLeft - 1);
            return;
        }
        look(box);
        box->buttons().first()->click();
    });
}

// Answers the next modal dialog of type Dialog the way `answer` says.
template <typename Dialog>
void WhenDialogOpens(std::function<void(Dialog*)> answer, int triesLeft = 200) {
    QTimer::singleShot(5, [answer, triesLeft] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            if (triesLeft > 0) WhenDialogOpens<Dialog>(answer, triesLeft - 1);
            return;
        }
        answer(dialog);
    });
}

}  // namespace

class TDlgLectureInformationTest : public QObject {
    Q_OBJECT

private slots:
    void constructionPlacesControls_data();
    void constructionPlacesControls();
    void captions_data();
    void captions();
    void buttonWidthsFollowWidestCaption_data();
    void buttonWidthsFollowWidestCaption();
    void languageSwitchesAppendInstructionsAndWriteSettings();
    void setLanguageIgnoresSameAndOutOfRange_data();
    void setLanguageIgnoresSameAndOutOfRange();
    void readButtonAtConstruction_data();
    void readButtonAtConstruction();
    void centredOnScreenWhenFirstShown_data();
    void centredOnScreenWhenFirstShown();
    void tabOrder();
    void tabLeavesTextBox();
    void teardownEndsConversationAndClosesPort_data();
    void teardownEndsConversationAndClosesPort();
    void portButtonHandsChosenPortToLink();
    void languageButtonAppliesDialogChoiceEvenWhenClosedByCloseBox();
    void languageButtonShowsSettingsErrorAndGoesOn();
    void keyPressesFocusedButton_data();
    void keyPressesFocusedButton();

    void wholeReadingTickByTick_data();
    void wholeReadingTickByTick();
    void timerIntervalFollowsReading();
    void readFailureReportsInErrorBox_data();
    void readFailureReportsInErrorBox();
    void silentUnitLeavesOnlyQuitUsable();
    void serialNumberFillsTenDigits_data();
    void serialNumberFillsTenDigits();
    void twoReadingsInARow();
    void idleTickFollowsPortChanges_data();
    void idleTickFollowsPortChanges();
    void quitWaitingWhenTickIsDueRunsNoMoreSteps();
};

// ---- Layout and texts ----

void TDlgLectureInformationTest::constructionPlacesControls_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("read") << "ButtonLectureInfo" << 312 << 8 << 25 << false;
    QTest::newRow("port") << "ButtonConfigPort" << 312 << 84 << 25 << true;
    QTest::newRow("language") << "ButtonChoixLangue" << 312 << 116 << 25 << true;
    QTest::newRow("quit") << "ButtonQuitter" << 312 << 192 << 25 << true;
}

void TDlgLectureInformationTest::constructionPlacesControls() {
    QFETCH(QString, control);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, height);
    QFETCH(bool, enabled);
    Bench bench;

    auto* button = bench->findChild<QPushButton*>(control);
    QVERIFY(button != nullptr);
    QCOMPARE(button->x(), left);
    QCOMPARE(button->y(), top);
    QCOMPARE(button->height(), height);
    QCOMPARE(button->isEnabled(), enabled);
    QVERIFY(!button->isHidden());
    QVERIFY(button->toolTip().isEmpty());
    QCOMPARE(bench->MemoInformation->geometry(), QRect(8, 8, 297, 209));
    QCOMPARE(bench->height(), 225);
    QCOMPARE(bench->LanguageIndex(), 0);
    QCOMPARE(bench->ReadingState(), 0);
    QVERIFY(!bench->MemoInformation->isReadOnly());
    QCOMPARE(bench->MemoInformation->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(bench->MemoInformation->lineWrapMode(), QPlainTextEdit::WidgetWidth);
}

void TDlgLectureInformationTest::captions_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("quit");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("choice");

    QTest::newRow("French") << 0
                            << QStringLiteral(
                                   "Lecture des Information de l'appareil Emetteur Radio TALVERN8")
                            << "&Quitter"
                            << "Lecture des informations"
                            << "Configuration du Port"
                            << "Choix de la Langue";
    QTest::newRow("English") << 1 << " "
                             << "&Exit"
                             << " "
                             << "Serial port settings"
                             << "Language choice";
}

void TDlgLectureInformationTest::captions() {
    QFETCH(int, language);
    QFETCH(QString, window);
    QFETCH(QString, quit);
    QFETCH(QString, read);
    QFETCH(QString, port);
    QFETCH(QString, choice);
    Bench bench;
    bench->SetLanguage(language);

    QCOMPARE(bench->windowTitle(), window);
    QCOMPARE(bench->ButtonQuitter->text(), quit);
    QCOMPARE(bench->ButtonLectureInfo->text(), read);
    QCOMPARE(bench->ButtonConfigPort->text(), port);
    QCOMPARE(bench->ButtonChoixLangue->text(), choice);
}

void TDlgLectureInformationTest::buttonWidthsFollowWidestCaption_data() {
    QTest::addColumn<bool>("shown");
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("captions");

    const QStringList french = {"&Quitter", "Lecture des informations", "Configuration du Port",
                                "Choix de la Langue"};
    const QStringList english = {"&Exit", " ", "Serial port settings", "Language choice"};
    QTest::newRow("French") << false << 0 << french;
    QTest::newRow("English") << false << 1 << english;
    // Back to French after English: the window grows again on its right side.
    QTest::newRow("French again") << false << 2 << french;
    // Switched while on screen, where the window has its frame.
    QTest::newRow("English on screen") << true << 1 << english;
    QTest::newRow("French again on screen") << true << 2 << french;
}

void TDlgLectureInformationTest::buttonWidthsFollowWidestCaption() {
    QFETCH(bool, shown);
    QFETCH(int, language);
    QFETCH(QStringList, captions);
    Bench bench;
    if (shown) {
        bench->show();
        QVERIFY(QTest::qWaitForWindowExposed(bench.window.get()));
    }
    if (language >= 1) bench->SetLanguage(1);
    if (language == 2) bench->SetLanguage(0);

    const QFontMetrics metrics(bench->font());
    int widest = 0;
    for (const QString& caption : captions)
        widest = std::max(widest, metrics.horizontalAdvance(caption) + 20);
    for (QPushButton* button : {bench->ButtonQuitter, bench->ButtonLectureInfo,
                                bench->ButtonConfigPort, bench->ButtonChoixLangue}) {
        QCOMPARE(button->width(), widest);
        QCOMPARE(button->x(), 312);
    }
    const QRect quit = bench->ButtonQuitter->geometry();
    QCOMPARE(bench->frameGeometry().width(), quit.x() + quit.width() + 14);
    QCOMPARE(bench->height(), 225);
}

void TDlgLectureInformationTest::languageSwitchesAppendInstructionsAndWriteSettings() {
    Bench bench;
    QCOMPARE(MemoLines(*bench.window), kFrenchInstructions);
    QVERIFY(!std::filesystem::exists(bench.SettingsPath()));

    bench->SetLanguage(1);
    QCOMPARE(MemoLines(*bench.window), kFrenchInstructions + kEnglishInstructions);
    QCOMPARE(FileBytes(bench.SettingsPath()), QByteArray("Langue=1;\n\r"));

    bench->SetLanguage(0);
    QCOMPARE(MemoLines(*bench.window),
             kFrenchInstructions + kEnglishInstructions + kFrenchInstructions);
    QCOMPARE(FileBytes(bench.SettingsPath()), QByteArray("Langue=0;\n\r"));
    QCOMPARE(bench->LanguageIndex(), 0);
}

void TDlgLectureInformationTest::setLanguageIgnoresSameAndOutOfRange_data() {
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("index");

    QTest::newRow("French, 2") << 0 << 2;
    QTest::newRow("French, -1") << 0 << -1;
    QTest::newRow("French, French") << 0 << 0;
    QTest::newRow("English, English") << 1 << 1;
    QTest::newRow("English, -2147483648") << 1 << INT32_MIN;
}

void TDlgLectureInformationTest::setLanguageIgnoresSameAndOutOfRange() {
    QFETCH(int, current);
    QFETCH(int, index);
    Bench bench;
    if (current == 1) bench->SetLanguage(1);
    std::filesystem::remove(bench.SettingsPath());
    const QString text = bench->MemoInformation->toPlainText();
    const QString title = bench->windowTitle();

    bench->SetLanguage(index);

    QCOMPARE(bench->LanguageIndex(), current);
    QCOMPARE(bench->MemoInformation->toPlainText(), text);
    QCOMPARE(bench->windowTitle(), title);
    QVERIFY(!std::filesystem::exists(bench.SettingsPath()));
}

void TDlgLectureInformationTest::readButtonAtConstruction_data() {
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("devicePath");

    // The link keeps its own first port (COM2) unless the adapter's port is chosen.
    QTest::newRow("no port") << QStringList{} << false << "\\\\.\\COM2";
    QTest::newRow("ordinary port")
        << QStringList{"\\Device\\Serial0=COM1"} << false << "\\\\.\\COM2";
    QTest::newRow("adapter") << QStringList{"\\Device\\Silabser0=COM4"} << true << "\\\\.\\COM4";
    QTest::newRow("adapter beside ordinary ports")
        << QStringList{"\\Device\\Serial0=COM1", "\\Device\\Silabser0=COM9",
                       "\\Device\\Serial1=COM3"}
        << true << "\\\\.\\COM9";
}

void TDlgLectureInformationTest::readButtonAtConstruction() {
    QFETCH(QStringList, ports);
    QFETCH(bool, enabled);
    QFETCH(QString, devicePath);
    Bench bench(ports);

    QCOMPARE(bench->ButtonLectureInfo->isEnabled(), enabled);
    QCOMPARE(QString::fromLatin1(bench->Link().DevicePath()), devicePath);
    // Construction neither opens the port nor talks to the unit.
    QVERIFY(bench.line.calls.empty());
    QVERIFY(bench->TimerGestConnection->isActive());
    QCOMPARE(bench->TimerGestConnection->interval(), 2000);
}

void TDlgLectureInformationTest::centredOnScreenWhenFirstShown_data() {
    QTest::addColumn<int>("language");
    QTest::newRow("French") << 0;
    // Start-up switches to English before the first showing, and the window narrows.
    QTest::newRow("English") << 1;
}

void TDlgLectureInformationTest::centredOnScreenWhenFirstShown() {
    QFETCH(int, language);
    Bench bench;
    bench->SetLanguage(language);

    bench->show();
    QVERIFY(QTest::qWaitForWindowExposed(bench.window.get()));

    const QRect screen = bench->screen()->availableGeometry();
    QCOMPARE(bench->frameGeometry().center(), screen.center());
    // The frame counts in the outer width once the window system has put one around it.
    const QRect quit = bench->ButtonQuitter->geometry();
    QCOMPARE(bench->frameGeometry().width(), quit.x() + quit.width() + 14);
    QCOMPARE(bench->height(), 225);
}

void TDlgLectureInformationTest::tabOrder() {
    Bench bench;
    const QList<QWidget*> controls = {bench->ButtonLectureInfo, bench->MemoInformation,
                                      bench->ButtonChoixLangue, bench->ButtonQuitter,
                                      bench->ButtonConfigPort};
    QList<QWidget*> order;
    QWidget* widget = bench->ButtonLectureInfo;
    for (int step = 0; step < 100 && order.size() < controls.size(); ++step) {
        if (controls.contains(widget) && !order.contains(widget)) order << widget;
        widget = widget->nextInFocusChain();
    }
    QCOMPARE(order, controls);
}

void TDlgLectureInformationTest::tabLeavesTextBox() {
    Bench bench;
    bench->show();
    bench.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    bench->MemoInformation->setFocus();
    const QString text = bench->MemoInformation->toPlainText();

    QTest::keyClick(bench->MemoInformation, Qt::Key_Tab);

    QCOMPARE(QApplication::focusWidget(), bench->ButtonChoixLangue);
    QCOMPARE(bench->MemoInformation->toPlainText(), text);
}

void TDlgLectureInformationTest::teardownEndsConversationAndClosesPort_data() {
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<QByteArray>("sentAtTeardown");

    // With the port open the end byte goes twice: from the link's teardown, then its close.
    QTest::newRow("port open") << true << QByteArray("\x04\x04");
    QTest::newRow("port never opened") << false << QByteArray();
}

void TDlgLectureInformationTest::teardownEndsConversationAndClosesPort() {
    QFETCH(bool, portOpen);
    QFETCH(QByteArray, sentAtTeardown);
    Bench bench({"\\Device\\Silabser0=COM4"});
    if (portOpen) RunWholeReading(*bench.window);
    QCOMPARE(bench.line.isOpen, portOpen);
    const size_t sentBefore = bench.line.sent.size();
    const size_t callsBefore = bench.line.calls.size();
    QPointer<TConfPort> portDialog(&bench->PortDialog());

    bench.window.reset();

    QVERIFY(portDialog.isNull());
    const QByteArray sent(reinterpret_cast<const char*>(bench.line.sent.data()) + sentBefore,
                          static_cast<qsizetype>(bench.line.sent.size() - sentBefore));
    QCOMPARE(sent, sentAtTeardown);
    QVERIFY(!bench.line.isOpen);
    if (portOpen)
        QCOMPARE(QString::fromStdString(bench.line.calls.back()), QStringLiteral("close"));
    else
        QCOMPARE(bench.line.calls.size(), callsBefore);
}

void TDlgLectureInformationTest::portButtonHandsChosenPortToLink() {
    // An ordinary port is chosen but not taken at construction; confirming it in the dialog
    // hands it to the link and enables reading.
    Bench bench({"\\Device\\Serial0=COM1", "\\Device\\Serial1=COM5"});
    QVERIFY(!bench->ButtonLectureInfo->isEnabled());
    bench->show();
    bench->SetLanguage(1);
    int dialogLanguage = -1;
    WhenDialogOpens<TConfPort>([&dialogLanguage](TConfPort* dialog) {
        dialogLanguage = dialog->LanguageIndex();
        dialog->RadioGroupPortSerie->ItemButton(1)->click();
        dialog->Validation->click();
    });

    QTest::mouseClick(bench->ButtonConfigPort, Qt::LeftButton);

    QCOMPARE(dialogLanguage, 1);
    QVERIFY(!bench->PortDialog().isVisible());
    QCOMPARE(QString::fromLatin1(bench->Link().DevicePath()), QStringLiteral("\\\\.\\COM5"));
    QVERIFY(bench->ButtonLectureInfo->isEnabled());
}

void TDlgLectureInformationTest::languageButtonAppliesDialogChoiceEvenWhenClosedByCloseBox() {
    Bench bench;
    TDialogChoixLangue languageDialog;
    bench->SetLanguageDialog(&languageDialog);
    bench->show();
    int presetLanguage = -1;
    WhenDialogOpens<TDialogChoixLangue>([&presetLanguage](TDialogChoixLangue* dialog) {
        presetLanguage = dialog->GetLanguage();
        dialog->SetLanguage(1);
        dialog->close();  // the close box: there is no cancel
    });

    QTest::mouseClick(bench->ButtonChoixLangue, Qt::LeftButton);

    QCOMPARE(presetLanguage, 0);
    QCOMPARE(bench->LanguageIndex(), 1);
    QCOMPARE(bench->ButtonConfigPort->text(), QStringLiteral("Serial port settings"));
    QCOMPARE(MemoLines(*bench.window), kFrenchInstructions + kEnglishInstructions);
    QCOMPARE(FileBytes(bench.SettingsPath()), QByteArray("Langue=1;\n\r"));
}

void TDlgLectureInformationTest::languageButtonShowsSettingsErrorAndGoesOn() {
    // Under a plain QApplication: the handler itself must show the error, or the exception
    // would unwind through Qt.
    Bench bench;
    const std::string path = bench.dir / "missing/QuenlorV1.CFG";
    bench->SetSettingsPath(path);
    TDialogChoixLangue languageDialog;
    bench->SetLanguageDialog(&languageDialog);
    bench->show();
    auto seen = std::make_shared<MessageBoxSeen>();
    WhenDialogOpens<TDialogChoixLangue>([seen](TDialogChoixLangue* dialog) {
        dialog->SetLanguage(1);
        AnswerNextMessageBox(seen);
        dialog->accept();
    });

    QTest::mouseClick(bench->ButtonChoixLangue, Qt::LeftButton);

    QVERIFY(seen->found);
    QCOMPARE(seen->text, QStringLiteral("Impossible de créer le fichier ") +
                             QString::fromStdString(path) + ".\n" + kMissingFolderReason);
    QCOMPARE(bench->LanguageIndex(), 1);
    QVERIFY(bench->isVisible());
}

void TDlgLectureInformationTest::keyPressesFocusedButton_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

void TDlgLectureInformationTest::keyPressesFocusedButton() {
    QFETCH(int, key);
    Bench bench;
    bench->show();
    bench.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    bench->ButtonQuitter->setFocus();

    QTest::keyClick(bench->ButtonQuitter, Qt::Key(key));

    QVERIFY(!bench->isVisible());
}

// ---- The reading sequence ----

void TDlgLectureInformationTest::wholeReadingTickByTick_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("French") << 0 << ReadingLines(kFrench);
    QTest::newRow("English") << 1 << ReadingLines(kEnglish);
}

void TDlgLectureInformationTest::wholeReadingTickByTick() {
    QFETCH(int, language);
    QFETCH(QStringList, lines);
    Bench bench({"\\Device\\Silabser0=COM4"});
    bench->SetLanguage(language);
    const int before = static_cast<int>(MemoLines(*bench.window).size());
    QCOMPARE(before, language == 0 ? 6 : 12);

    bench->ButtonLectureInfoClick();
    QVERIFY(!bench->ButtonConfigPort->isEnabled());
    QVERIFY(!bench->ButtonChoixLangue->isEnabled());
    QVERIFY(!bench->ButtonLectureInfo->isEnabled());
    QVERIFY(bench->ButtonQuitter->isEnabled());
    QCOMPARE(bench->ReadingState(), 1);
    QCOMPARE(LinesAfter(*bench.window, before), QStringList{});

    int written = 0;
    for (int tick = 1; tick <= 6; ++tick) {
        bench->TimerGestConnectionTimer();
        written += kLinesPerTick[tick - 1];
        const QString where = QStringLiteral("after tick %1").arg(tick);
        QVERIFY2(LinesAfter(*bench.window, before) == lines.mid(0, written), qPrintable(where));
        QVERIFY2(bench->ReadingState() == (tick < 6 ? tick + 1 : 6), qPrintable(where));
        QVERIFY2(!bench->ButtonLectureInfo->isEnabled(), qPrintable(where));
        QVERIFY2(bench->TimerGestConnection->isActive() == (tick < 6), qPrintable(where));
    }
    QVERIFY(bench->beeps.empty());
    QCOMPARE(bench.line.sent.back(), uint8_t{0x04});  // the conversation is over

    DeliverPostedMessages();

    QCOMPARE(LinesAfter(*bench.window, before), lines);
    QCOMPARE(written + kReportLines, static_cast<int>(lines.size()));
    QCOMPARE(bench->beeps, std::vector<unsigned>{kBeepOk});
    QVERIFY(bench->ButtonConfigPort->isEnabled());
    QVERIFY(bench->ButtonChoixLangue->isEnabled());
    QVERIFY(bench->ButtonLectureInfo->isEnabled());
    QCOMPARE(bench->ReadingState(), 0);
    QVERIFY(bench->TimerGestConnection->isActive());
    QCOMPARE(bench->TimerGestConnection->interval(), 2000);
    // The port stays open for the next reading.
    QVERIFY(bench.line.isOpen);
}

void TDlgLectureInformationTest::timerIntervalFollowsReading() {
    Bench bench({"\\Device\\Silabser0=COM4"});
    QCOMPARE(bench->TimerGestConnection->interval(), 2000);
    QVERIFY(bench->TimerGestConnection->isActive());

    bench->ButtonLectureInfoClick();
    QCOMPARE(bench->TimerGestConnection->interval(), 300);
    QVERIFY(bench->TimerGestConnection->isActive());

    for (int tick = 1; tick <= 5; ++tick) {
        bench->TimerGestConnectionTimer();
        QCOMPARE(bench->TimerGestConnection->interval(), 300);
        QVERIFY(bench->TimerGestConnection->isActive());
    }
    bench->TimerGestConnectionTimer();
    QVERIFY(!bench->TimerGestConnection->isActive());

    DeliverPostedMessages();
    QCOMPARE(bench->TimerGestConnection->interval(), 2000);
    QVERIFY(bench->TimerGestConnection->isActive());
}

void TDlgLectureInformationTest::readFailureReportsInErrorBox_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("stopAfterBytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("message");

    // A unit of another type, and one that accepts the poll and then says nothing: no line
    // for the type, no values shown as 0, no success report.
    QTest::newRow("wrong type, French")
        << 0 << "P07" << -1 << WrongTypeLines(kFrench)
        << QString::fromStdString(WrongTypeMessage(kFrench, "\n\n\r"));
    QTest::newRow("wrong type, English")
        << 1 << "P07" << -1 << WrongTypeLines(kEnglish)
        << QString::fromStdString(WrongTypeMessage(kEnglish, "\n\n\r"));
    for (int language : {kFrench, kEnglish}) {
        QTest::addRow("silent after the poll, %s", language == kFrench ? "French" : "English")
            << language << "P06" << 1 << ToQt(FailedReading(language, kStateDeviceType))
            << QString::fromStdString(TransmissionErrorMessage(language));
    }
}

void TDlgLectureInformationTest::readFailureReportsInErrorBox() {
    QFETCH(int, language);
    QFETCH(QStringList, lines);
    QFETCH(QString, message);
    QFETCH(QString, type);
    QFETCH(int, stopAfterBytes);
    UnitConfig unit;
    unit.type = type.toStdString();
    FaultConfig faults;
    faults.stopAfterBytes = stopAfterBytes;
    Bench bench({"\\Device\\Silabser0=COM4"}, unit, faults);
    bench->SetLanguage(language);
    const int before = static_cast<int>(MemoLines(*bench.window).size());

    bench->ButtonLectureInfoClick();
    bench->TimerGestConnectionTimer();
    bench->TimerGestConnectionTimer();
    QCOMPARE(LinesAfter(*bench.window, before), lines.mid(0, 3));
    QCOMPARE(bench->ReadingState(), 2);
    QVERIFY(!bench->TimerGestConnection->isActive());

    struct {
        bool seen = false;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QStringList buttons;
        QStringList memo;
        std::vector<unsigned> beeps;
        bool buttonsDisabled = false;
        bool timerActive = true;
    } box;
    BenchWindow* window = bench.window.get();
    WhenBoxOpens([&box, window, before](QMessageBox* shown) {
        box.seen = true;
        box.title = shown->windowTitle();
        box.text = shown->text();
        box.icon = shown->icon();
        for (const QAbstractButton* button : shown->buttons()) box.buttons << button->text();
        box.memo = LinesAfter(*window, before);
        box.beeps = window->beeps;
        box.buttonsDisabled = !window->ButtonConfigPort->isEnabled() &&
                              !window->ButtonChoixLangue->isEnabled() &&
                              !window->ButtonLectureInfo->isEnabled();
        box.timerActive = window->TimerGestConnection->isActive();
    });

    DeliverPostedMessages();

    QVERIFY(box.seen);
    QCOMPARE(box.title, QStringLiteral("Erreur"));
    QCOMPARE(box.text, message);
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QStringList{"OK"});
    // While the box is open: the two lines are written, the sound played, nothing is back.
    QCOMPARE(box.memo, lines);
    QCOMPARE(box.beeps, std::vector<unsigned>{kBeepIconHand});
    QVERIFY(box.buttonsDisabled);
    QVERIFY(!box.timerActive);

    QCOMPARE(LinesAfter(*bench.window, before), lines);
    QCOMPARE(bench->beeps, std::vector<unsigned>{kBeepIconHand});
    QVERIFY(bench->ButtonConfigPort->isEnabled());
    QVERIFY(bench->ButtonChoixLangue->isEnabled());
    QVERIFY(bench->ButtonLectureInfo->isEnabled());
    QCOMPARE(bench->ReadingState(), 0);
    QVERIFY(bench->TimerGestConnection->isActive());
    QCOMPARE(bench->TimerGestConnection->interval(), 2000);
    QVERIFY(!bench.model.InConversation());
}

void TDlgLectureInformationTest::silentUnitLeavesOnlyQuitUsable() {
    FaultConfig faults;
    faults.silent = true;
    Bench bench({"\\Device\\Silabser0=COM4"}, UnitConfig{}, faults);
    const QString text = bench->MemoInformation->toPlainText();

    bench->ButtonLectureInfoClick();
    for (int tick = 1; tick <= 5; ++tick) {
        bench->TimerGestConnectionTimer();
        DeliverPostedMessages();
        QCOMPARE(bench->ReadingState(), 1);
        // Every tick polls once more.
        QCOMPARE(std::count(bench.line.sent.begin(), bench.line.sent.end(), uint8_t{0x80}), tick);
    }

    QCOMPARE(bench->MemoInformation->toPlainText(), text);
    QVERIFY(!bench->ButtonLectureInfo->isEnabled());
    QVERIFY(!bench->ButtonConfigPort->isEnabled());
    QVERIFY(!bench->ButtonChoixLangue->isEnabled());
    QVERIFY(bench->ButtonQuitter->isEnabled());
    QVERIFY(bench->TimerGestConnection->isActive());
    QCOMPARE(bench->TimerGestConnection->interval(), 300);
    QVERIFY(bench->beeps.empty());
}

void TDlgLectureInformationTest::serialNumberFillsTenDigits_data() {
    QTest::addColumn<uint>("serial");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("line");

    QTest::newRow("0") << 0u << 0 << QStringLiteral("Le numéro de série est : 0000000000.");
    QTest::newRow("4294967295") << 4294967295u << 0
                                << QStringLiteral("Le numéro de série est : 4294967295.");
    QTest::newRow("0 in English") << 0u << 1 << QStringLiteral("Serial number is : 0000000000.");
    QTest::newRow("4294967295 in English")
        << 4294967295u << 1 << QStringLiteral("Serial number is : 4294967295.");
    QTest::newRow("65536") << 65536u << 0 << QStringLiteral("Le numéro de série est : 0000065536.");
}

void TDlgLectureInformationTest::serialNumberFillsTenDigits() {
    QFETCH(uint, serial);
    QFETCH(int, language);
    QFETCH(QString, line);
    UnitConfig unit;
    unit.serialNumber = serial;
    Bench bench({"\\Device\\Silabser0=COM4"}, unit);
    bench->SetLanguage(language);
    const int before = static_cast<int>(MemoLines(*bench.window).size());

    RunWholeReading(*bench.window);

    QCOMPARE(LinesAfter(*bench.window, before).value(5), line);
}

void TDlgLectureInformationTest::twoReadingsInARow() {
    Bench bench({"\\Device\\Silabser0=COM4"});

    RunWholeReading(*bench.window);
    RunWholeReading(*bench.window);

    QCOMPARE(MemoLines(*bench.window),
             kFrenchInstructions + ReadingLines(kFrench) + ReadingLines(kFrench));
    QCOMPARE(bench->beeps, (std::vector<unsigned>{kBeepOk, kBeepOk}));
    QCOMPARE(bench->ReadingState(), 0);
}

void TDlgLectureInformationTest::idleTickFollowsPortChanges_data() {
    QTest::addColumn<QStringList>("portsBefore");
    QTest::addColumn<QStringList>("portsAfter");
    QTest::addColumn<bool>("scanFails");
    QTest::addColumn<bool>("enabledBefore");
    QTest::addColumn<bool>("enabledAfter");
    QTest::addColumn<QString>("devicePath");
    QTest::addColumn<bool>("openBefore");  // the port open from an earlier reading
    QTest::addColumn<bool>("openAfter");

    const QStringList adapter4 = {"\\Device\\Silabser0=COM4"};
    QTest::newRow("port gone: read disabled")
        << adapter4 << QStringList{} << false << true << false << "\\\\.\\COM4" << false << false;
    QTest::newRow("port appears: read enabled, link told")
        << QStringList{} << QStringList{"\\Device\\Serial0=COM5"} << false << false << true
        << "\\\\.\\COM5" << false << false;
    QTest::newRow("port moves: link told")
        << adapter4 << QStringList{"\\Device\\Silabser1=COM6"} << false << true << true
        << "\\\\.\\COM6" << false << false;
    QTest::newRow("no change, read enabled")
        << adapter4 << adapter4 << false << true << true << "\\\\.\\COM4" << false << false;
    QTest::newRow("no change, read disabled")
        << QStringList{"\\Device\\Serial0=COM1"} << QStringList{"\\Device\\Serial0=COM1"} << false
        << false << false << "\\\\.\\COM2" << false << false;
    QTest::newRow("scan fails, read enabled")
        << adapter4 << adapter4 << true << true << true << "\\\\.\\COM4" << false << false;
    QTest::newRow("scan fails, read disabled") << QStringList{} << QStringList{} << true << false
                                               << false << "\\\\.\\COM2" << false << false;
    QTest::newRow("open port gone: let go")
        << adapter4 << QStringList{} << false << true << false << "\\\\.\\COM4" << true << false;
    QTest::newRow("open port stays: kept")
        << adapter4 << adapter4 << false << true << true << "\\\\.\\COM4" << true << true;
}

void TDlgLectureInformationTest::idleTickFollowsPortChanges() {
    QFETCH(QStringList, portsBefore);
    QFETCH(QStringList, portsAfter);
    QFETCH(bool, scanFails);
    QFETCH(bool, enabledBefore);
    QFETCH(bool, enabledAfter);
    QFETCH(QString, devicePath);
    QFETCH(bool, openBefore);
    QFETCH(bool, openAfter);
    Bench bench(portsBefore);
    QCOMPARE(bench->ButtonLectureInfo->isEnabled(), enabledBefore);
    if (openBefore) {
        QCOMPARE(bench->Link().Open(), kStatusOk);
        bench.line.calls.clear();
    }
    const QString text = bench->MemoInformation->toPlainText();
    bench.table->values = Ports(portsAfter);
    bench.table->infoFails = scanFails;

    bench->TimerGestConnectionTimer();

    QCOMPARE(bench->ButtonLectureInfo->isEnabled(), enabledAfter);
    QCOMPARE(QString::fromLatin1(bench->Link().DevicePath()), devicePath);
    QCOMPARE(bench->ReadingState(), 0);
    QCOMPARE(bench->MemoInformation->toPlainText(), text);
    QVERIFY(bench->ButtonConfigPort->isEnabled());
    QVERIFY(bench->ButtonChoixLangue->isEnabled());
    QCOMPARE(bench->TimerGestConnection->interval(), 2000);
    QCOMPARE(bench->Link().IsOpen(), openAfter);
    if (openBefore && !openAfter)
        QVERIFY(bench.line.calls.back() == "close");
    else
        QVERIFY(bench.line.calls.empty());
}

void TDlgLectureInformationTest::quitWaitingWhenTickIsDueRunsNoMoreSteps() {
    // A click on quit waits in the queue while a tick falls due (its step overran the 300 ms):
    // the window closes and no further step talks to the unit.
    Bench bench({"\\Device\\Silabser0=COM4"});
    bench->show();
    QVERIFY(QTest::qWaitForWindowExposed(bench.window.get()));
    bench->ButtonLectureInfoClick();
    bench->TimerGestConnection->start(0);  // the next tick is due at once
    const QPoint centre = bench->ButtonQuitter->rect().center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QCoreApplication::postEvent(
            bench->ButtonQuitter,
            new QMouseEvent(type, centre, bench->ButtonQuitter->mapToGlobal(centre), Qt::LeftButton,
                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                            Qt::NoModifier));
    }

    QTRY_VERIFY(!bench->isVisible());
    for (int round = 0; round < 10; ++round) QCoreApplication::processEvents();  // 0 ms ticks

    QVERIFY(bench.line.sent.empty());
    QCOMPARE(bench->ReadingState(), 1);
}

QTEST_MAIN(TDlgLectureInformationTest)
#include "TDlgLectureInformation_test.moc"
