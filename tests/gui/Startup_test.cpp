// Start-up against settings files in a configuration folder of the test's own: the language
// each file gives, which files are rewritten and which are left alone, a read-only file that
// ends the program with the error box (run as an unprivileged user in a child process, since
// root writes read-only files), the error box's text rule, and an error in a click handler
// that the event loop shows before it goes on.
#include "app/Startup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/QuenlorApplication.h"
#include "tests/support/ConfigurationHome.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePortTable.h"
#include "tests/support/FakeSerialLine.h"
#include "tests/support/MainWindowTestHelpers.h"
#include "tests/support/MessageBoxAnswerer.h"
#include "tests/support/PosixChildProcess.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kChildSwitch = "--read-only-startup-child";
// A date long past, so that any write shows in the modification time.
const auto kOldTime = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 3);

QByteArray FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return QByteArray::fromStdString(
        std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
}

void WriteBytes(const std::string& path, const QByteArray& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.constData(), bytes.size());
}

// The fake seams the windows are built on, kept alive until the windows are gone.
struct Seams {
    WindowSeams Take() {
        WindowSeams seams;
        seams.line = &line;
        seams.clock = &clock;
        seams.portTable = std::make_unique<FakePortTable>();
        return seams;
    }
    FakeClock clock;
    FakeSerialLine line{clock};
};

// The child's side of the read-only case: the real start-up under its trap, the error box
// answered from a timer. It reports what it saw on stdout, one "key=value" a line, and
// exits with start-up's own result.
class MainWindowShowWatcher : public QObject {
public:
    bool shown = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<TDlgLectureInformation*>(watched)) {
            shown = true;
            // Had start-up gone on to its event loop, this ends it.
            QTimer::singleShot(0, static_cast<QWidget*>(watched), &QWidget::close);
        }
        return false;
    }
};

int RunReadOnlyStartupChild(int argc, char** argv) {
    QuenlorApplication application(argc, argv);
    MainWindowShowWatcher watcher;
    application.installEventFilter(&watcher);
    auto seen = std::make_shared<MessageBoxSeen>();
    AnswerNextMessageBox(seen);
    Seams seams;

    const int result = RunStartup(application, seams.Take());

    std::printf("found=%d\n", seen->found ? 1 : 0);
    std::printf("title=%s\n", seen->title.toUtf8().constData());
    std::printf("text=%s\n", seen->text.toUtf8().constData());
    std::printf("icon=%d\n", static_cast<int>(seen->icon));
    std::printf("buttons=%s\n", seen->buttons.join(u'|').toUtf8().constData());
    std::printf("mainWindowShown=%d\n", watcher.shown ? 1 : 0);
    std::fflush(stdout);
    return result;
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void settingsFileGivesLanguage_data();
    void settingsFileGivesLanguage();
    void readOnlyFileHoldingEnglishEndsStartupWithErrorBox();
    void errorBoxText_data();
    void errorBoxText();
    void errorInClickHandlerIsShownAndLoopGoesOn();
};

void StartupTest::settingsFileGivesLanguage_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("rewritten");
    QTest::addColumn<QByteArray>("contentsAfter");

    QTest::newRow("no file: created for French")
        << false << QByteArray() << 0 << true << QByteArray("Langue=0;\n\r");
    QTest::newRow("English: rewritten with the same bytes")
        << true << QByteArray("Langue=1;\n\r") << 1 << true << QByteArray("Langue=1;\n\r");
    QTest::newRow("French: left alone")
        << true << QByteArray("Langue=0;\n\r") << 0 << false << QByteArray("Langue=0;\n\r");
    QTest::newRow("2: French, left alone")
        << true << QByteArray("Langue=2;\n\r") << 0 << false << QByteArray("Langue=2;\n\r");
    QTest::newRow("-1: French, left alone")
        << true << QByteArray("Langue=-1;\n\r") << 0 << false << QByteArray("Langue=-1;\n\r");
    QTest::newRow("English with blanks: rewritten in the written form")
        << true << QByteArray("Langue = 1 ;\n\r") << 1 << true << QByteArray("Langue=1;\n\r");
}

void StartupTest::settingsFileGivesLanguage() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, contents);
    QFETCH(int, language);
    QFETCH(bool, rewritten);
    QFETCH(QByteArray, contentsAfter);
    ConfigurationHome home;
    const std::string path = home / "quenlor/QuenlorV1.CFG";
    if (exists) {
        fs::create_directories(home / "quenlor");
        WriteBytes(path, contents);
        fs::last_write_time(path, kOldTime);
    }
    Seams seams;
    ApplicationWindows windows;

    BuildApplicationWindows(windows, seams.Take());

    TDlgLectureInformation& window = *windows.DlgLectureInformation;
    QCOMPARE(window.SettingsPath(), path);
    QCOMPARE(window.LanguageIndex(), language);
    QCOMPARE(MemoLines(window),
             language == 1 ? kFrenchInstructions + kEnglishInstructions : kFrenchInstructions);
    QCOMPARE(window.windowTitle(),
             language == 1
                 ? QStringLiteral(" ")
                 : QStringLiteral("Lecture des Information de l'appareil Emetteur Radio TALVERN8"));
    QVERIFY(windows.DialogChoixLangue != nullptr);
    QCOMPARE(windows.DialogChoixLangue->GetLanguage(), 0);
    QVERIFY(!window.isVisible());
    QCOMPARE(FileBytes(path), contentsAfter);
    if (exists) QCOMPARE(fs::last_write_time(path) != kOldTime, rewritten);
    windows.Destroy();
}

void StartupTest::readOnlyFileHoldingEnglishEndsStartupWithErrorBox() {
    TempDir home;
    const std::string folder = home / "quenlor";
    const std::string path = folder + "/QuenlorV1.CFG";
    fs::create_directories(folder);
    WriteBytes(path, "Langue=1;\n\r");
    fs::last_write_time(path, kOldTime);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const bool root = geteuid() == 0;
    if (root) {
        // The unprivileged child may pass through the folders and read, but write nothing.
        const auto readable = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec;
        fs::permissions(home.Path(), readable);
        fs::permissions(folder, readable);
    }

    // The child runs a copy of this program in the test's folder, which nobody can reach
    // wherever the build folder is (a clone in root's 0700 home, say).
    QString program = QCoreApplication::applicationFilePath();
    if (root) {
        program = QString::fromStdString(
            CopyForNobody(program.toStdString(), home / "startup_test_child"));
    }
    QProcess child;
    child.setProgram(program);
    child.setArguments({kChildSwitch});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(home.Path()));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(environment);
    if (root) {
        child.setChildProcessModifier([] {
            if (!DropToNobody()) _exit(99);
        });
    }
    child.start();
    QVERIFY(child.waitForFinished(60000));
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);

    QStringList lines = output.split(u'\n', Qt::SkipEmptyParts);
    const QStringList expected = {
        "found=1",
        "title=Quenlor",
        QStringLiteral("text=Impossible de créer le fichier ") + QString::fromStdString(path) + ".",
        QStringLiteral("Permission refusée."),
        QStringLiteral("icon=%1").arg(static_cast<int>(QMessageBox::Critical)),
        "buttons=OK",
        "mainWindowShown=0",
    };
    QCOMPARE(lines, expected);
    QCOMPARE(FileBytes(path), QByteArray("Langue=1;\n\r"));
    QCOMPARE(fs::last_write_time(path), kOldTime);
}

void StartupTest::errorBoxText_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("text");

    QTest::newRow("letter") << "abc"
                            << "abc.";
    QTest::newRow("point") << "abc."
                           << "abc.";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("exclamation mark, 0x21") << "abc!"
                                            << "abc!";
    QTest::newRow("hyphen, 0x2D") << "abc-"
                                  << "abc-";
    QTest::newRow("slash, 0x2F") << "abc/"
                                 << "abc/.";
    QTest::newRow("path") << "path/x"
                          << "path/x.";
    QTest::newRow("digit") << "COM7"
                           << "COM7.";
    QTest::newRow("accented letter") << QStringLiteral("é") << QStringLiteral("é.");
    QTest::newRow("space") << "abc "
                           << "abc ";
}

void StartupTest::errorBoxText() {
    QFETCH(QString, message);
    QFETCH(QString, text);
    QCOMPARE(ErrorBoxText(message), text);
}

void StartupTest::errorInClickHandlerIsShownAndLoopGoesOn() {
    TempDir home;
    // A folder that does not exist: the settings file cannot be created, even by root.
    const std::string path = home / "missing/QuenlorV1.CFG";
    Seams seams;
    TDlgLectureInformation window(nullptr, seams.Take());
    TDialogChoixLangue languageDialog;
    window.SetLanguageDialog(&languageDialog);
    window.SetSettingsPath(path);
    window.show();
    auto seen = std::make_shared<MessageBoxSeen>();
    QTimer::singleShot(5, [seen] {
        auto* dialog = qobject_cast<TDialogChoixLangue*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        dialog->SetLanguage(1);
        AnswerNextMessageBox(seen);
        dialog->accept();
    });

    QTest::mouseClick(window.ButtonChoixLangue, Qt::LeftButton);

    QVERIFY(seen->found);
    QCOMPARE(seen->title, QStringLiteral("Quenlor"));
    QCOMPARE(seen->text, QStringLiteral("Impossible de créer le fichier ") +
                             QString::fromStdString(path) + ".\n" + kMissingFolderReason);
    QCOMPARE(seen->icon, QMessageBox::Critical);
    // The window already shows the new language; nothing was written.
    QCOMPARE(window.LanguageIndex(), 1);
    QCOMPARE(MemoLines(window), kFrenchInstructions + kEnglishInstructions);
    QVERIFY(!fs::exists(path));
    // The application goes on: the window still answers clicks.
    QVERIFY(window.isVisible());
    bool reopened = false;
    QTimer::singleShot(5, [&reopened] {
        auto* dialog = qobject_cast<TDialogChoixLangue*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        reopened = dialog->GetLanguage() == 1;
        dialog->accept();
    });
    QTest::mouseClick(window.ButtonChoixLangue, Qt::LeftButton);
    QVERIFY(reopened);
}

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == kChildSwitch)
        return RunReadOnlyStartupChild(argc, argv);
    QuenlorApplication application(argc, argv);
    StartupTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "Startup_test.moc"
