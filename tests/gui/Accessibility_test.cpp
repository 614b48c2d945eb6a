// What a screen reader finds in the windows, read through Qt's accessibility interface as
// the platform's bridge reads it: a name for every window and for every control the keyboard
// reaches, in both languages, also where the English caption is a single space; the main
// window announced as a window; and the focus back on the read button after a reading
// started from the keyboard.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
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

void AccessibilityTest::everyWindowAndControlIsNamed_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<int>("role");

    const int window = QAccessible::Window;
    const int dialog = QAccessible::Dialog;
    for (const auto& [language, name] : {std::pair{0, "French"}, {1, "English"}}) {
        const QString suffix = QString(" ") + name;
        QTest::newRow(qPrintable("main" + suffix)) << "main" << language << kAdapterPort << window;
        QTest::newRow(qPrintable("port" + suffix))
            << "port" << language << (kAdapterPort + NumberedPorts(2)) << dialog;
        // Its group scrolls in a strip of the screen's width.
        QTest::newRow(qPrintable("port, 100 ports" + suffix))
            << "port" << language << NumberedPorts(100) << dialog;
        QTest::newRow(qPrintable("language" + suffix))
            << "language" << language << QStringList() << dialog;
    }
}

void AccessibilityTest::everyWindowAndControlIsNamed() {
    QFETCH(QString, window);
    QFETCH(int, language);
    QFETCH(QStringList, ports);
    QFETCH(int, role);
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
    QVERIFY(widgets.size() > 3);
    for (QWidget* widget : widgets) {
        QAccessibleInterface* accessible = Accessible(widget);
        QVERIFY(accessible != nullptr);
        const QString what = widget->metaObject()->className() + (" " + widget->objectName());
        QVERIFY2(!accessible->text(QAccessible::Name).trimmed().isEmpty(), qPrintable(what));
    }
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
    QApplication::setActiveWindow(bench.window.get());
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
