// The main window reading a p06-sim unit over a real pseudo-terminal, through the machine's
// own serial line and port table: the simulator's port alias sits in the configuration folder
// of the test's own, the user picks it in the port dialog and clicks the read button.
#include <QElapsedTimer>
#include <QTest>
#include <filesystem>
#include <string>

#include "app/Startup.h"
#include "tests/support/ConfigurationHome.h"
#include "tests/support/MainWindowTestHelpers.h"
#include "tests/support/SimProcess.h"

namespace {

constexpr int kComNumber = 7;
constexpr int kReadingTimeoutMs = 15000;

}  // namespace

class MainWindowPtyTest : public QObject {
    Q_OBJECT

private slots:
    void readsSimulatedUnit_data();
    void readsSimulatedUnit();
};

void MainWindowPtyTest::readsSimulatedUnit_data() {
    QTest::addColumn<uint>("serial");
    QTest::addColumn<uint>("circuit");
    QTest::addColumn<QString>("software");

    QTest::newRow("unit 4660, circuit 3, software 2.5") << 4660u << 3u << "2.5";
    QTest::newRow("unit 4294967295, circuit 255, software 10.0") << 4294967295u << 255u << "10.0";
}

void MainWindowPtyTest::readsSimulatedUnit() {
    QFETCH(uint, serial);
    QFETCH(uint, circuit);
    QFETCH(QString, software);
    const ReadUnit unit{serial, circuit, software.toStdString()};
    ConfigurationHome home;
    SimProcess sim(SimOptions(unit), kComNumber, home.MakePortsDir());
    QVERIFY2(sim.Ready(), "p06-sim did not start");

    ApplicationWindows windows;
    BuildApplicationWindows(windows);
    TDlgLectureInformation& window = *windows.DlgLectureInformation;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The alias is not the adapter's port: the user picks it in the port dialog.
    QString confirmed;
    ConfirmPortWhenDialogOpens(QStringLiteral("COM7"), &confirmed);
    QTest::mouseClick(window.ButtonConfigPort, Qt::LeftButton);
    QCOMPARE(confirmed, QStringLiteral("COM7"));
    QCOMPARE(QString::fromLatin1(window.Link().DevicePath()), QStringLiteral("\\\\.\\COM7"));
    QVERIFY(window.ButtonLectureInfo->isEnabled());
    const int before = static_cast<int>(MemoLines(window).size());

    QElapsedTimer elapsed;
    elapsed.start();
    QTest::mouseClick(window.ButtonLectureInfo, Qt::LeftButton);
    QCOMPARE(window.ReadingState(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(window), kReadingTimeoutMs);
    qInfo("whole reading against p06-sim: %lld ms", static_cast<long long>(elapsed.elapsed()));

    QCOMPARE(MemoLines(window).mid(before), ReadingLines(kFrench, unit));
    QVERIFY(window.Link().IsOpen());
    windows.Destroy();
    QCOMPARE(sim.Stop() & 0x7f, 0);  // it ended on the stop, not on a crash
    QVERIFY(!std::filesystem::exists(sim.AliasPath()));
}

QTEST_MAIN(MainWindowPtyTest)
#include "MainWindowPty_test.moc"
