#include "app/QuenlorApplication.h"

#include <QIcon>
#include <QMessageBox>
#include <exception>

#include "platform/FileError.h"

QuenlorApplication::QuenlorApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(kApplicationTitle);
    // Desktops match the windows to the desktop entry by this name; the icon is the one the
    // package installs in the icon theme, or the drawing built into the program when the
    // theme has none (a build run from its folder).
    setDesktopFileName(QStringLiteral("org.quenlor.quenlor"));
    Q_INIT_RESOURCE(quenlor);
    setWindowIcon(
        QIcon::fromTheme(QStringLiteral("quenlor"), QIcon(QStringLiteral(":/app/quenlor.svg"))));
}

bool QuenlorApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowApplicationError(ErrorTextOf(error));
    } catch (...) {
        ShowApplicationError(QString());
    }
    return false;
}

QString ErrorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.') return message + u'.';
    return message;
}

QString ErrorTextOf(const std::exception& error) {
    const QString message = QString::fromUtf8(error.what());
    const auto* fileError = dynamic_cast<const FileError*>(&error);
    if (fileError == nullptr || fileError->reason().empty()) return message;
    return ErrorBoxText(message) + u'\n' + QString::fromStdString(fileError->reason());
}

void ShowApplicationError(const QString& message) {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle),
                    ErrorBoxText(message), QMessageBox::Ok);
    box.exec();
}
