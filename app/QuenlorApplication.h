// The application object: it shows an error raised by an event handler in the program's
// error box and lets the event loop go on.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>

class QuenlorApplication : public QApplication {
public:
    QuenlorApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The application's title, which captions its error boxes.
inline constexpr const char* kApplicationTitle = "Quenlor";

// The error box's text: the message, with "." added when it is not empty and its last
// character sorts after ".".
QString ErrorBoxText(const QString& message);
// What an error says in the box: its message, and the system's reason on a line of its own
// when a file failed (platform/FileError.h).
QString ErrorTextOf(const std::exception& error);
// A modal error box captioned with the application's title.
void ShowApplicationError(const QString& message);
