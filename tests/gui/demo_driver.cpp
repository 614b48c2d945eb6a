// Drives the real windows for the demo, as a user at the bench would: builds them through
// start-up, picks the simulator's port in the port dialog, clicks the read button, waits for
// the reading to end, saves a picture of the window and prints its text box. Also takes the
// pictures of the main window in French and English for the documentation.
//
//   demo_driver reading <picture.png> [COM number]   (default COM7)
//   demo_driver window fr|en <picture.png>
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <string>

#include "app/QuenlorApplication.h"
#include "app/Startup.h"
#include "platform/FileError.h"
#include "tests/support/MainWindowTestHelpers.h"

namespace {

constexpr int kReadingTimeoutMs = 30000;
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Usage() {
    std::fputs(
        "usage: demo_driver reading <picture.png> [COM number]\n"
        "       demo_driver window fr|en <picture.png>\n",
        stderr);
    return kExitUsage;
}

bool SavePicture(QWidget& window, const QString& path) {
    QApplication::processEvents();
    if (window.grab().save(path)) return true;
    std::fprintf(stderr, "demo_driver: cannot save %s\n", qPrintable(path));
    return false;
}

int Reading(TDlgLectureInformation& window, const QString& picture, int comNumber) {
    const QString label = QStringLiteral("COM%1").arg(comNumber);
    QString confirmed;
    ConfirmPortWhenDialogOpens(label, &confirmed);
    QTest::mouseClick(window.ButtonConfigPort, Qt::LeftButton);
    if (confirmed.isEmpty()) {
        std::fprintf(stderr, "demo_driver: the port dialog does not list %s\n", qPrintable(label));
        return kExitFailed;
    }

    QTest::mouseClick(window.ButtonLectureInfo, Qt::LeftButton);
    const bool done = QTest::qWaitFor([&window] { return Idle(window); }, kReadingTimeoutMs);
    if (!SavePicture(window, picture)) return kExitFailed;
    std::fputs(window.MemoInformation->toPlainText().toUtf8().constData(), stdout);
    std::fputs("\n", stdout);
    if (!done) std::fputs("demo_driver: the reading did not end\n", stderr);
    return done ? kExitOk : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    QuenlorApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments().mid(1);
    const bool reading = arguments.size() >= 2 && arguments[0] == "reading";
    const bool picture = arguments.size() == 3 && arguments[0] == "window" &&
                         (arguments[1] == "fr" || arguments[1] == "en");
    if (!reading && !picture) return Usage();

    ApplicationWindows windows;
    int result = kExitFailed;
    try {
        BuildApplicationWindows(windows);
        TDlgLectureInformation& window = *windows.DlgLectureInformation;
        if (picture) window.SetLanguage(arguments[1] == "en" ? 1 : 0);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) std::fputs("demo_driver: no window\n", stderr);
        if (reading) {
            const int comNumber = arguments.size() > 2 ? arguments[2].toInt() : 7;
            result = Reading(window, arguments[1], comNumber);
        } else {
            result = SavePicture(window, arguments[2]) ? kExitOk : kExitFailed;
        }
    } catch (const FileError& error) {
        std::fprintf(stderr, "demo_driver: %s\n", error.what());
    }
    windows.Destroy();
    return result;
}
