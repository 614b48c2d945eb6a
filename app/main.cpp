// The bench program's entry point. It takes no arguments and returns 0: a start-up failure
// has already been shown to the user in the error box; without a display there is no box,
// and it says so on standard error and returns 1. --version and --help are
// answered before any window exists, so that packaging tools and a terminal without a
// display get an answer, and on Windows in the console that started the program.
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "Version.h"
#include "app/QuenlorApplication.h"
#include "app/Startup.h"
#include "platform/Process.h"
#include "platform/SettingsDirectory.h"

int main(int argc, char** argv) {
    EnsureStandardStreams();
    const bool version = argc == 2 && std::strcmp(argv[1], "--version") == 0;
    const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
    if (version || help) UseParentConsole();
    if (version) {
        std::printf("quenlor %s\n", QUENLOR_VERSION);
        return 0;
    }
    if (help) {
        std::fputs(
            "Usage: quenlor\n"
            "Reads the type, serial number, circuit version and software version of an\n"
            "Emetteur Radio TALVERN8 transmitter over its USB-serial adapter, in a window,\n"
            "in French or English.\n"
            "\n"
            "Options:\n"
            "  --help     print this help\n"
            "  --version  print the version\n"
            "\n"
            "Files:\n",
            stdout);
        // Where the settings file and the ports are depends on the system.
        std::fputs(SettingsFilesHelp(), stdout);
        return 0;
    }
    // Without a display Qt says so in several lines and aborts; one line and status 1 tell a
    // user at a terminal what is wrong, with Qt's own first word on it. Qt's start-up
    // messages are held back meanwhile.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            static std::string reason;
            if (reason.empty()) reason = text.section('\n', 0, 0).trimmed().toStdString();
            if (type != QtFatalMsg) return;
            const char* display = std::getenv("DISPLAY");
            const char* wayland = std::getenv("WAYLAND_DISPLAY");
            // Qt's reason tells a display it could not reach from a platform it lacks.
            const bool noDisplay = (display == nullptr || *display == '\0') &&
                                   (wayland == nullptr || *wayland == '\0') &&
                                   reason.find("display") != std::string::npos;
            if (noDisplay)
                std::fprintf(stderr,
                             "quenlor: no display to show the window on (DISPLAY or "
                             "WAYLAND_DISPLAY unset or unreachable); run it in a desktop "
                             "session, or read the unit with p06-read (Qt: %s)\n",
                             reason.c_str());
            else
                std::fprintf(stderr, "quenlor: the window cannot be shown: %s\n", reason.c_str());
            std::_Exit(1);
        });
    // Anything the start-up did not expect ends in one line and status 1, never an abort.
    try {
        QuenlorApplication application(argc, argv);
        qInstallMessageHandler(previous);
        // Qt took its own options (-platform, -style); anything left is not the program's.
        if (argc > 1) {
            std::fprintf(stderr,
                         "quenlor: unknown option '%s'\nUsage: quenlor [--help | --version]\n",
                         argv[1]);
            return 1;
        }
        return RunStartup(application);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "quenlor: %s\n", failure.what());
    }
    return 1;
}
