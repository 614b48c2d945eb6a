// What a screen reader finds in the windows, read through Qt's accessibility interface as
// the platform's bridge reads it: the name and description of every window and of every
// control the keyboard reaches, as written here, in both languages, also where the English
// caption is a single space; the main window announced as a window; and the focus back on
// the read button after a reading started from the keyboard.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/TDialogChoixLangue.h"
#include "dialogs/Tconfigurationport.h"
#include "tests/gui/MainWindowBench.h"
#include "tests/support/MainWindowTestHelpers.h"

namespace {

const QStringList kAdapterPort = {"\\Device\\Silabser0=COM4"};

// COM1 to COM<count>; from 100 on the port dialog is wider than the offscreen screen.
QStringList NumberedPorts(int count) {
    QStringList ports;
    for (int i = 1; i <= count; ++i) ports << QString("\\Device\\Serial%1=COM%1").arg(i);
    return ports;
}

QAccessibleInterface* Accessible(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget);
}

// The window itself and every control in it that takes the focus.
QList<QWidget*> WindowAndControls(QWidget* window) {
    QList<QWidget*> widgets = {window};
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (child->focusPolicy() != Qt::NoFocus && child->isVisibleTo(window)) widgets << child;
    }
    return widgets;
}

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

private slots:
    void everyWindowAndControlIsNamed_data();
    void everyWindowAndControlIsNamed();
    void readButtonGetsFocusBackAfterKeyboardReading_data();
    void readButtonGetsFocusBackAfterKeyboardReading();
};

// COM1 to COM<count> as the port dialog lists them: in the labels' text order.
QStringList PortNames(int count) {
    QStringList names;
    for (int i = 1; i <= count; ++i) names << QString("COM%1").arg(i);
    names.sort();
    return names;
}

void AccessibilityTest::everyWindowAndControlIsNamed_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<int>("role");
    // What a screen reader says of the window and of each control, in the order they are
    // found: the name, then " | " and the description where there is one.
    QTest::addColumn<QStringList>("said");

    const int window = QAccessible::Window;
    const int dialog = QAccessible::Dialog;
    const QStringList threePorts = {"COM1", "COM2", "COM4 : ORVANEX"};
    QTest::newRow("main French")
        << "main" << 0 << kAdapterPort << window
        << QStringList{"Lecture des Information de l'appareil Emetteur Radio TALVERN8",
                       "Lecture des informations",
                       "Instructions et résultats de la lecture",
                       "Choix de la Langue",
                       "Quitter",
                       "Configuration du Port"};
    QTest::newRow("main English")
        << "main" << 1 << kAdapterPort << window
        << QStringList{"Reading the Emetteur Radio TALVERN8 unit",
                       "Read the unit",
                       "Instructions and reading results | Connect your Emetteur Radio TALVERN8 "
                       "unit to the PC and switch it on. Then choose the serial port to use, and "
                       "to read the information, press the < Read the unit > button.",
                       "Language choice",
                       "Exit",
                       "Serial port settings"};
    QTest::newRow("port French") << "port" << 0 << (kAdapterPort + NumberedPorts(2)) << dialog
                                 << QStringList{"Comfiguration du port série", "Valider"} +
                                        threePorts + QStringList{"Recherche des Ports"};
    QTest::newRow("port English") << "port" << 1 << (kAdapterPort + NumberedPorts(2)) << dialog
                                  << QStringList{"Serial port settings", "Valid"} + threePorts +
                                         QStringList{"ports searching (in progress)"};
    // Its group scrolls in a strip of the screen's width, made after the buttons.
    QTest::newRow("port, 100 ports French")
        << "port" << 0 << NumberedPorts(100) << dialog
        << QStringList{"Comfiguration du port série", "Valider", "Recherche des Ports"} +
               PortNames(100);
    QTest::newRow("port, 100 ports English")
        << "port" << 1 << NumberedPorts(100) << dialog
        << QStringList{"Serial port settings", "Valid", "ports searching (in progress)"} +
               PortNames(100);
    QTest::newRow("language French")
        << "language" << 0 << QStringList() << dialog
        << QStringList{"Choix de la Langue", "OK", "Français", "English"};
    QTest::newRow("language English")
        << "language" << 1 << QStringList() << dialog
        << QStringList{"Language choice", "OK", "Français", "English"};
}

void AccessibilityTest::everyWindowAndControlIsNamed() {
    QFETCH(QString, window);
    QFETCH(int, language);
    QFETCH(QStringList, ports);
    QFETCH(int, role);
    QFETCH(QStringList, said);
    std::unique_ptr<Bench> bench;
    std::unique_ptr<QWidget> dialog;
    QWidget* shown = nullptr;
    if (window == "main") {
        bench = std::make_unique<Bench>(ports);
        bench->window->SetLanguage(language);
        shown = bench->window.get();
    } else if (window == "port") {
        auto port =
            std::make_unique<TConfPort>(nullptr, std::make_unique<FakePortTable>(Ports(ports)));
        port->SetLanguage(language);
        shown = port.get();
        dialog = std::move(port);
    } else {
        auto choice = std::make_unique<TDialogChoixLangue>();
        choice->SetLanguage(language);
        shown = choice.get();
        dialog = std::move(choice);
    }
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));

    const QList<QWidget*> widgets = WindowAndControls(shown);
    for (int i = 0; i < std::min(widgets.size(), said.size()); ++i) {
        QAccessibleInterface* accessible = Accessible(widgets[i]);
        QVERIFY(accessible != nullptr);
        const QString description = accessible->text(QAccessible::Description);
        const QString text = accessible->text(QAccessible::Name) +
                             (description.isEmpty() ? QString() : " | " + description);
        const QString what =
            widgets[i]->metaObject()->className() + (" " + widgets[i]->objectName());
        QVERIFY2(text == said[i],
                 qPrintable(what + " is said as \"" + text + "\", not \"" + said[i] + "\""));
    }
    QCOMPARE(widgets.size(), said.size());
    QCOMPARE(int(Accessible(shown)->role()), role);
}

void AccessibilityTest::readButtonGetsFocusBackAfterKeyboardReading_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("userMovesFocus");
    QTest::newRow("French") << 0 << false;
    QTest::newRow("English") << 1 << false;
    // The user's own choice of focus during the reading stays.
    QTest::newRow("focus moved to the quit button") << 1 << true;
}

void AccessibilityTest::readButtonGetsFocusBackAfterKeyboardReading() {
    QFETCH(int, language);
    QFETCH(bool, userMovesFocus);
    Bench bench(kAdapterPort);
    bench->SetLanguage(language);
    bench->show();
    bench.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    bench->ButtonLectureInfo->setFocus();

    QTest::keyClick(bench->ButtonLectureInfo, Qt::Key_Space);
    // The read button disabled itself and handed its focus on.
    QVERIFY(!bench->ButtonLectureInfo->isEnabled());
    QCOMPARE(QApplication::focusWidget(), bench->MemoInformation);
    if (userMovesFocus) bench->ButtonQuitter->setFocus();
    for (int tick = 0; tick < 6; ++tick) bench->TimerGestConnectionTimer();
    QCoreApplication::sendPostedEvents();

    QVERIFY(Idle(*bench.window));
    QWidget* focused = userMovesFocus ? bench->ButtonQuitter : bench->ButtonLectureInfo;
    QCOMPARE(QApplication::focusWidget(), focused);
    QVERIFY(Accessible(focused)->state().focused);
}

QTEST_MAIN(AccessibilityTest)
#include "Accessibility_test.moc"
