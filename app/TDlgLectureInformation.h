// The main window: a text box with the instructions and the reading results on the left,
// four buttons on the right (read, port, language, quit). It owns the device link, the port
// dialog, the language index, the settings path and the reading state; its timer polls for
// a change of port while idle and paces a reading one device operation per tick.
#pragma once

#include <QEvent>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "core/ReadingStep.h"
#include "core/SettingsFile.h"
#include "dialogs/Language.h"
#include "link/Com_p06.h"
#include "platform/PortTable.h"
#include "platform/Sound.h"

class QPlainTextEdit;
class QPushButton;
class QTimer;
class TConfPort;
class TDialogChoixLangue;

// The two messages the window posts to itself when a reading ends.
inline constexpr int WM_READ_FAILED = 1025;
inline constexpr int WM_READ_DONE = 1027;

// A window message posted to the window's own queue.
class ReadMessageEvent : public QEvent {
public:
    ReadMessageEvent(int message, intptr_t wParam, intptr_t lParam)
        : QEvent(static_cast<QEvent::Type>(message)), WParam(wParam), LParam(lParam) {}
    const intptr_t WParam;
    const intptr_t LParam;
};

// The seams the window's link and discovery run on; empty means the machine's own.
struct WindowSeams {
    SerialLine* line = nullptr;
    Clock* clock = nullptr;
    std::unique_ptr<PortTable> portTable;
};

class TDlgLectureInformation : public QWidget {
    Q_OBJECT

public:
    explicit TDlgLectureInformation(QWidget* owner = nullptr, WindowSeams seams = {});
    ~TDlgLectureInformation() override;

    void ApplyLanguage();
    // Takes index when it names a language other than the current one, and stores it; start-up
    // passes kWriteBack for the value it has just read.
    void SetLanguage(int32_t index, SettingsWrite why = SettingsWrite::kNewValue);
    // Start-up stores where the settings file lives; SetLanguage rewrites it there.
    void SetSettingsPath(const std::string& path);
    const std::string& SettingsPath() const { return settingsPath_; }
    // The language dialog the language button shows (the application owns it).
    void SetLanguageDialog(TDialogChoixLangue* dialog) { languageDialog_ = dialog; }

    void ButtonQuitterClick();
    void ButtonConfigPortClick();
    void ButtonChoixLangueClick();
    void ButtonLectureInfoClick();
    void TimerGestConnectionTimer();
    void OnReadFailed(const ReadMessageEvent& message);
    void OnReadDone(const ReadMessageEvent& message);

    int32_t LanguageIndex() const { return IndexOf(language_); }
    ::ReadingState ReadingState() const { return readingState_; }
    TConfPort& PortDialog() { return *portDialog_; }
    CP06& Link() { return link_; }

    // Controls, named as on the form.
    QPushButton* ButtonLectureInfo;
    QPlainTextEdit* MemoInformation;
    QPushButton* ButtonChoixLangue;
    QPushButton* ButtonQuitter;
    QPushButton* ButtonConfigPort;
    QTimer* TimerGestConnection;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The platform's sound of that type (kBeepOk, kBeepIconHand); a seam so tests can hear it.
    virtual void MessageBeep(unsigned type);
    // The modal error box of a failed reading; a seam so tests can see it without a click.
    virtual void ShowErrorBox(const QString& message);

private:
    static CP06 MakeLink(const WindowSeams& seams);
    void CreateControls(std::unique_ptr<PortTable> portTable);
    void LayOutButtons();
    // The first port scan, the idle polling, and the adapter's port for the link.
    void TakeFirstPort();
    // The outer width, frame included, follows the quit button's right edge.
    void FitWidthToButtons();
    // The timer only queues its tick, so clicks and keys already waiting go first, as the
    // Windows message loop takes input before a timer message.
    void QueueTick();
    void FormDestroy();
    void AppendLine(const std::string& line);
    void EndReading();

    Language language_ = Language::French;
    std::string settingsPath_;
    TConfPort* portDialog_ = nullptr;
    CP06 link_;
    ::ReadingState readingState_ = kStateIdle;
    ReadingStep readingStep_;
    TDialogChoixLangue* languageDialog_ = nullptr;
    bool tickQueued_ = false;
    // The read button disabled itself with the focus, which went to the text box.
    bool focusLeftReadButton_ = false;
    bool closing_ = false;
};
