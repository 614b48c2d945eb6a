// Pictures of the port and language dialogs in French and English, for the documentation:
//   QT_QPA_PLATFORM=offscreen grab_dialogs <output directory>
// writes port-dialog-fr.png, port-dialog-en.png, language-dialog-fr.png and
// language-dialog-en.png. Only the client areas are drawn: offscreen windows have no frame.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <memory>

#include "dialogs/TDialogChoixLangue.h"
#include "dialogs/Tconfigurationport.h"
#include "tests/support/FakePortTable.h"

namespace {
const char* const kLanguageSuffixes[2] = {"fr", "en"};

// A Linux bench PC: the motherboard's ttyS0, the simulated unit's alias COM7 and the
// transmitter's USB adapter on ttyUSB0, as the port table lists them there.
std::unique_ptr<PortTable> BenchPortTable() {
    return std::make_unique<FakePortTable>(
        std::vector<FakePortValue>{{"\\Device\\serial0", kRegSz, "COM1", "/dev/ttyS0"},
                                   {"\\Device\\pty3", kRegSz, "COM7", "/dev/pts/3"},
                                   {"\\Device\\Silabser0", kRegSz, "COM33", "/dev/ttyUSB0"}});
}

bool Save(QWidget& window, const QDir& directory, const QString& name) {
    const QString path = directory.filePath(name);
    if (window.grab().save(path)) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}
}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: grab_dialogs <output directory>\n");
        return 2;
    }
    const QDir directory(QString::fromLocal8Bit(argv[1]));
    bool saved = true;
    for (int language = 0; language < 2; ++language) {
        const QString suffix = QString::fromLatin1(kLanguageSuffixes[language]);

        TConfPort portDialog(nullptr, BenchPortTable());
        portDialog.SetLanguage(language);
        portDialog.show();
        QApplication::processEvents();
        saved = Save(portDialog, directory, "port-dialog-" + suffix + ".png") && saved;

        TDialogChoixLangue languageDialog;
        languageDialog.SetLanguage(language);
        languageDialog.show();
        QApplication::processEvents();
        saved = Save(languageDialog, directory, "language-dialog-" + suffix + ".png") && saved;
    }
    return saved ? 0 : 1;
}
