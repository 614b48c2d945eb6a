#include "app/TDlgLectureInformation.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <iterator>
#include <optional>
#include <utility>

#include "app/QuenlorApplication.h"
#include "core/MainWindowTexts.h"
#include "core/SettingsFile.h"
#include "dialogs/DialogFont.h"
#include "dialogs/TDialogChoixLangue.h"
#include "dialogs/Tconfigurationport.h"
#include "dialogs/WindowPlacement.h"

namespace {

using namespace main_window_texts;

constexpr int kClientWidth = 394;
constexpr int kClientHeight = 225;
constexpr QRect kMemoRect(8, 8, 297, 209);
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 7;       // between the text box and the buttons, and between buttons
constexpr int kCaptionMargin = 20;  // added to a caption's measured width
constexpr int kWindowMargin = 14;   // from the quit button's right edge to the window's
constexpr int kIdleIntervalMs = 2000;

QString Translated(const TextPair& pair, Language language) {
    return QString::fromUtf8(Text(pair, language));
}

QString WithArgument(const TextPair& pair, Language language, const QString& argument) {
    return Translated(pair, language).replace(QLatin1String("%s"), argument);
}

// A plain top-level widget reads as a filler panel to a screen reader, which may then not
// announce its title; the main window is a window.
QAccessibleInterface* MainWindowAccessible(const QString&, QObject* object) {
    auto* window = qobject_cast<TDlgLectureInformation*>(object);
    return window != nullptr ? new QAccessibleWidget(window, QAccessible::Window) : nullptr;
}

QPushButton* NewButton(QWidget* window, const char* name) {
    auto* button = new QPushButton(window);
    button->setObjectName(QLatin1String(name));
    // Enter presses the focused button, as Space does.
    button->setAutoDefault(true);
    return button;
}

}  // namespace

CP06 TDlgLectureInformation::MakeLink(const WindowSeams& seams) {
    if (seams.line != nullptr && seams.clock != nullptr) return CP06(*seams.line, *seams.clock);
    return CP06();
}

TDlgLectureInformation::TDlgLectureInformation(QWidget* owner, WindowSeams seams)
    : QWidget(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      link_(MakeLink(seams)),
      readingStep_(link_, [this](const std::string& line) { AppendLine(line); }) {
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(MainWindowAccessible);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
    CreateControls(std::move(seams.portTable));
    // The buttons first: the window's width is counted from the quit button's left edge.
    LayOutButtons();
    ApplyLanguage();
    TakeFirstPort();
    CentreOnScreenWhenShown(this, [this] { FitWidthToButtons(); });
}

TDlgLectureInformation::~TDlgLectureInformation() {
    // The focus watch would otherwise run while QWidget's destructor hides the window, when
    // this class's members are gone.
    QObject::disconnect(qApp, nullptr, this, nullptr);
    FormDestroy();
    // The link's own teardown follows with the members: it ends the conversation and closes.
}

void TDlgLectureInformation::CreateControls(std::unique_ptr<PortTable> portTable) {
    setFont(DialogFont());
    setFixedSize(kClientWidth, kClientHeight);
    // Created in tab order; the buttons get their places from LayOutButtons.
    ButtonLectureInfo = NewButton(this, "ButtonLectureInfo");
    ButtonLectureInfo->setEnabled(false);
    MemoInformation = new QPlainTextEdit(this);
    MemoInformation->setObjectName("MemoInformation");
    MemoInformation->setGeometry(kMemoRect);
    MemoInformation->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab goes on to the next control, as in any dialog; the text box takes typing only.
    MemoInformation->setTabChangesFocus(true);
    ButtonChoixLangue = NewButton(this, "ButtonChoixLangue");
    ButtonQuitter = NewButton(this, "ButtonQuitter");
    ButtonConfigPort = NewButton(this, "ButtonConfigPort");
    TimerGestConnection = new QTimer(this);
    TimerGestConnection->setObjectName("TimerGestConnection");
    portDialog_ = portTable ? new TConfPort(this, std::move(portTable)) : new TConfPort(this);

    connect(ButtonLectureInfo, &QPushButton::clicked, this, [this] { ButtonLectureInfoClick(); });
    connect(ButtonConfigPort, &QPushButton::clicked, this, [this] { ButtonConfigPortClick(); });
    connect(ButtonChoixLangue, &QPushButton::clicked, this, [this] { ButtonChoixLangueClick(); });
    connect(ButtonQuitter, &QPushButton::clicked, this, [this] { ButtonQuitterClick(); });
    connect(TimerGestConnection, &QTimer::timeout, this, [this] { QueueTick(); });
    // The text box holds the read button's focus only until the user moves it on in this
    // window; an error box or another program taking the focus does not count.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (old == MemoInformation && now != nullptr && now->window() == this)
            focusLeftReadButton_ = false;
    });
}

void TDlgLectureInformation::LayOutButtons() {
    // The quit button sits at the text box's bottom right, the read button at its top right,
    // and the port and language buttons, 7 pixels apart, halfway between them.
    const int left = kMemoRect.x() + kMemoRect.width() + kButtonGap;
    const int readTop = kMemoRect.y();
    const int quitTop = kMemoRect.y() + kMemoRect.height() - kButtonHeight;
    const int portTop =
        readTop + (quitTop - readTop - 3 * kButtonHeight - kButtonGap) / 2 + kButtonHeight;
    const int languageTop = portTop + kButtonHeight + kButtonGap;
    for (const auto& [button, top] : {std::pair{ButtonQuitter, quitTop},
                                      {ButtonLectureInfo, readTop},
                                      {ButtonConfigPort, portTop},
                                      {ButtonChoixLangue, languageTop}})
        button->setGeometry(left, top, button->width(), kButtonHeight);
}

void TDlgLectureInformation::TakeFirstPort() {
    portDialog_->PortsChanged();  // the first scan; whether the port changed does not matter
    TimerGestConnection->start(kIdleIntervalMs);
    // Only the adapter's port is read at once; any other waits for the user's choice.
    if (portDialog_->IsAdapterPort()) {
        ButtonLectureInfo->setEnabled(true);
        link_.SetPort(portDialog_->GetPortNumber());
    }
}

void TDlgLectureInformation::FitWidthToButtons() {
    const int outerWidth = ButtonQuitter->x() + ButtonQuitter->width() + kWindowMargin;
    setFixedSize(outerWidth - FrameWidth(this), height());
}

void TDlgLectureInformation::FormDestroy() {
    delete portDialog_;
    portDialog_ = nullptr;
}

void TDlgLectureInformation::AppendLine(const std::string& line) {
    MemoInformation->appendPlainText(QString::fromStdString(line));
}

void TDlgLectureInformation::ApplyLanguage() {
    const Language language = language_;
    const QString device = QString::fromStdString(CP06::DeviceName());
    setWindowTitle(WithArgument(kCaptionFormat, language, device));
    setAccessibleName(WithArgument(kWindowName, language, device));
    ButtonLectureInfo->setAccessibleName(Translated(kReadName, language));
    MemoInformation->setAccessibleName(Translated(kMemoName, language));
    MemoInformation->setAccessibleDescription(WithArgument(kMemoDescription, language, device));

    const std::pair<QPushButton*, const TextPair&> buttons[] = {
        {ButtonQuitter, kQuitCaption},
        {ButtonLectureInfo, kReadCaption},
        {ButtonConfigPort, kPortCaption},
        {ButtonChoixLangue, kLanguageCaption}};
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const auto& [button, caption] : buttons) {
        button->setText(Translated(caption, language));
        // Measured as stored, ampersand included.
        widest = std::max(widest, metrics.horizontalAdvance(button->text()) + kCaptionMargin);
    }
    for (const auto& [button, caption] : buttons) button->resize(widest, button->height());
    FitWidthToButtons();

    const int lines = static_cast<int>(std::size(kInstructions));
    for (int line = 0; line < lines; ++line) {
        const QString argument =
            line == kReadButtonInstruction ? Translated(kReadCaption, language) : device;
        MemoInformation->appendPlainText(
            line == kUnformattedInstruction
                ? Translated(kInstructions[line], language)
                : WithArgument(kInstructions[line], language, argument));
    }
}

void TDlgLectureInformation::SetLanguage(int32_t index, SettingsWrite why) {
    const std::optional<Language> language = LanguageFromIndex(index);
    if (!language || *language == language_) return;
    language_ = *language;
    ApplyLanguage();
    WriteLanguageSetting(settingsPath_, IndexOf(language_), why);
}

void TDlgLectureInformation::SetSettingsPath(const std::string& path) { settingsPath_ = path; }

void TDlgLectureInformation::ButtonQuitterClick() { close(); }

void TDlgLectureInformation::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    closing_ = event->isAccepted();
}

void TDlgLectureInformation::ButtonConfigPortClick() {
    portDialog_->SetLanguage(IndexOf(language_));
    portDialog_->exec();
    link_.SetPort(portDialog_->GetPortNumber());
    ButtonLectureInfo->setEnabled(true);
}

void TDlgLectureInformation::ButtonChoixLangueClick() {
    if (languageDialog_ == nullptr) return;
    languageDialog_->SetLanguage(IndexOf(language_));
    languageDialog_->exec();
    // The settings file may refuse the new language: the window says so and goes on.
    try {
        SetLanguage(languageDialog_->GetLanguage());
    } catch (const std::exception& error) {
        ShowApplicationError(ErrorTextOf(error));
    }
}

// ---- The reading sequence ----

void TDlgLectureInformation::ButtonLectureInfoClick() {
    ButtonConfigPort->setEnabled(false);
    ButtonChoixLangue->setEnabled(false);
    // A disabled button hands its focus on to the text box, where Space and Enter type.
    const bool readButtonFocused = focusWidget() == ButtonLectureInfo;
    ButtonLectureInfo->setEnabled(false);
    focusLeftReadButton_ = readButtonFocused && focusWidget() == MemoInformation;
    readingState_ = kStateConnect;
    readingStep_.ClearRecord();
    // Setting the interval restarts the timer: the first step runs 300 ms after the click.
    TimerGestConnection->start(static_cast<int>(kTickIntervalMs));
}

void TDlgLectureInformation::QueueTick() {
    if (tickQueued_) return;
    tickQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            tickQueued_ = false;
            // A quit handled meanwhile ends the window after the step that ran before it.
            if (!closing_) TimerGestConnectionTimer();
        },
        Qt::QueuedConnection);
}

void TDlgLectureInformation::TimerGestConnectionTimer() {
    if (readingState_ == kStateIdle) {
        if (!portDialog_->PortsChanged()) return;
        if (portDialog_->HasPort()) {
            ButtonLectureInfo->setEnabled(true);
            link_.SetPort(portDialog_->GetPortNumber());
        } else {
            ButtonLectureInfo->setEnabled(false);
            // The port is no longer listed: its adapter was unplugged. Held open, it would keep
            // the adapter plugged in again from getting its name back (Windows keeps the COM
            // number taken, Linux makes ttyUSB0 come back as ttyUSB1), so it is let go now.
            link_.LetPortGo();
        }
        return;
    }
    const ReadingStep::Result result = readingStep_.Tick(readingState_, language_);
    readingState_ = result.nextState;
    if (result.report == ReadingStep::Report::None) return;
    // No tick may run between the last step and its report.
    TimerGestConnection->stop();
    const int message =
        result.report == ReadingStep::Report::ReadFailed ? WM_READ_FAILED : WM_READ_DONE;
    const intptr_t kind = message == WM_READ_FAILED ? result.failure : 0;
    QCoreApplication::postEvent(this, new ReadMessageEvent(message, kind, 0));
}

bool TDlgLectureInformation::event(QEvent* event) {
    const int type = static_cast<int>(event->type());
    if (type == WM_READ_FAILED) {
        OnReadFailed(static_cast<const ReadMessageEvent&>(*event));
        return true;
    }
    if (type == WM_READ_DONE) {
        OnReadDone(static_cast<const ReadMessageEvent&>(*event));
        return true;
    }
    return QWidget::event(event);
}

void TDlgLectureInformation::OnReadFailed(const ReadMessageEvent& message) {
    // A unit of another type, or a step that failed after the poll was accepted.
    const std::string text = message.WParam == ReadingStep::kTransmissionFailure
                                 ? readingStep_.ReportTransmissionFailure(language_)
                                 : readingStep_.ReportWrongType(language_);
    MessageBeep(kBeepIconHand);
    ShowErrorBox(QString::fromStdString(text));
    EndReading();
}

void TDlgLectureInformation::OnReadDone(const ReadMessageEvent&) {
    MessageBeep(kBeepOk);
    readingStep_.ReportDone(language_);
    EndReading();
}

void TDlgLectureInformation::EndReading() {
    ButtonConfigPort->setEnabled(true);
    ButtonChoixLangue->setEnabled(true);
    ButtonLectureInfo->setEnabled(true);
    // The next reading is one key press away again.
    if (focusLeftReadButton_ && focusWidget() == MemoInformation) ButtonLectureInfo->setFocus();
    focusLeftReadButton_ = false;
    readingState_ = kStateIdle;
    TimerGestConnection->start(kIdleIntervalMs);
}

void TDlgLectureInformation::MessageBeep(unsigned type) { PlayBeep(type); }

void TDlgLectureInformation::ShowErrorBox(const QString& message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Erreur"), message, QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    CentreOnScreenWhenShown(&box);
    box.exec();
}
