// The main window reading a p06-sim unit over a real pseudo-terminal, through the machine's
// own serial line and port table: the simulator's port alias sits in the configuration folder
// of the test's own, the user picks it in the port dialog and clicks the read button.
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "SimProcess.h"
#include "TempDir.h"
#include "app/Startup.h"
#include "dialogs/RadioGroupColumns.h"
#include "dialogs/Tconfigurationport.h"

namespace {

constexpr int kComNumber = 7;
constexpr int kReadingTimeoutMs = 15000;

QStringList MemoLines(const TDlgLectureInformation& window) {
    return window.MemoInformation->toPlainText().split(u'\n');
}

// Picks the item that starts with `label` in the port dialog when it opens, and confirms it.
void ConfirmPortWhenDialogOpens(const QString& label, QString* confirmed, int triesLeft = 400) {
    QTimer::singleShot(5, [label, confirmed, triesLeft] {
        auto* dialog = qobject_cast<TConfPort*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            if (triesLeft > 0) ConfirmPortWhenDialogOpens(label, confirmed, triesLeft - 1);
            return;
        }
        const QStringList items = dialog->RadioGroupPortSerie->Items();
        for (int i = 0; i < items.size(); ++i) {
            if (items[i].startsWith(label)) {
                dialog->RadioGroupPortSerie->ItemButton(i)->click();
                *confirmed = items[i];
            }
        }
        dialog->Validation->click();
        dialog->close();  // when nothing was picked, the close box
    });
}

}  // namespace

class MainWindowPtyTest : public QObject {
    Q_OBJECT

private slots:
    void readsSimulatedUnit_data();
    void readsSimulatedUnit();
};

void MainWindowPtyTest::readsSimulatedUnit_data() {
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("unit 4660, circuit 3, software 2.5")
        << QStringList{"--serial", "4660", "--circuit", "3", "--software", "2.5"}
        << QStringList{
               QStringLiteral("Appareil connecté"),
               QStringLiteral(" "),
               QStringLiteral("Vérification du type d'appareil."),
               QStringLiteral("Vous avez bien connecté un appareil Emetteur Radio TALVERN8."),
               QStringLiteral(" "),
               QStringLiteral("Le numéro de série est : 0000004660."),
               QStringLiteral(" La version du circuit est 3 "),
               QStringLiteral(" La version du logiciel est 2.5"),
               QStringLiteral("Transmission réussie"),
               QStringLiteral(" "),
               QStringLiteral(" Le transfert des données est reussi."),
               QStringLiteral(" "),
               QStringLiteral("---------------------------"),
               QStringLiteral("Vous pouvez effectuer une nouvelle lecture sur un autre appareil "
                              "Emetteur Radio TALVERN8"),
           };
    QTest::newRow("unit 4294967295, circuit 255, software 10.0")
        << QStringList{"--serial", "4294967295", "--circuit", "255", "--software", "10.0"}
        << QStringList{
               QStringLiteral("Appareil connecté"),
               QStringLiteral(" "),
               QStringLiteral("Vérification du type d'appareil."),
               QStringLiteral("Vous avez bien connecté un appareil Emetteur Radio TALVERN8."),
               QStringLiteral(" "),
               QStringLiteral("Le numéro de série est : 4294967295."),
               QStringLiteral(" La version du circuit est 255 "),
               QStringLiteral(" La version du logiciel est 10.0"),
               QStringLiteral("Transmission réussie"),
               QStringLiteral(" "),
               QStringLiteral(" Le transfert des données est reussi."),
               QStringLiteral(" "),
               QStringLiteral("---------------------------"),
               QStringLiteral("Vous pouvez effectuer une nouvelle lecture sur un autre appareil "
                              "Emetteur Radio TALVERN8"),
           };
}

void MainWindowPtyTest::readsSimulatedUnit() {
    QFETCH(QStringList, simOptions);
    QFETCH(QStringList, lines);
    TempDir home;
    setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
    const std::string portsDir = home / "quenlor/ports";
    std::filesystem::create_directories(portsDir);
    std::vector<std::string> options;
    for (const QString& option : simOptions) options.push_back(option.toStdString());
    SimProcess sim(options, kComNumber, portsDir);
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
    QVERIFY2(confirmed.startsWith("COM7 ("), qPrintable(confirmed));
    QCOMPARE(QString::fromLatin1(window.Link().DevicePath()), QStringLiteral("\\\\.\\COM7"));
    QVERIFY(window.ButtonLectureInfo->isEnabled());
    const int before = static_cast<int>(MemoLines(window).size());

    QElapsedTimer elapsed;
    elapsed.start();
    QTest::mouseClick(window.ButtonLectureInfo, Qt::LeftButton);
    QCOMPARE(window.ReadingState(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(window.ReadingState() == 0 && window.ButtonLectureInfo->isEnabled(),
                             kReadingTimeoutMs);
    qInfo("whole reading against p06-sim: %lld ms", static_cast<long long>(elapsed.elapsed()));

    QCOMPARE(MemoLines(window).mid(before), lines);
    QVERIFY(window.Link().IsOpen());
    windows.Destroy();
    QCOMPARE(sim.Stop() & 0x7f, 0);  // it ended on the stop, not on a crash
    QVERIFY(!std::filesystem::exists(sim.AliasPath()));
    unsetenv("XDG_CONFIG_HOME");
}

QTEST_MAIN(MainWindowPtyTest)
#include "MainWindowPty_test.moc"
