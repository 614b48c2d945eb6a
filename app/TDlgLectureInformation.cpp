#include "app/TDlgLectureInformation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/SettingsFile.h"
#include "dialogs/DialogFont.h"
#include "dialogs/TDialogChoixLangue.h"
#include "dialogs/Tconfigurationport.h"

namespace {

// Texts by language index: [0] French, [1] English.
using TextPair = const char* const[2];

TextPair kCaptionFormat = {"Lecture des Information de l'appareil %s", " "};
TextPair kQuitCaption = {"&Quitter", "&Exit"};
TextPair kReadCaption = {"Lecture des informations", " "};
TextPair kPortCaption = {"Configuration du Port", "Serial port settings"};
TextPair kLanguageCaption = {"Choix de la Langue", "Language choice"};

// The six instruction lines; %s is the device name, or the read button's caption in the last.
TextPair kInstructions[6] = {
    {"Lecture des Informations de l'appareil %s", " "},
    {" ", " "},
    {"Connecter votre appareil %s au PC", " "},
    {"Allumer l'appareil %s.", " "},
    {"Choisir ensuite le port serie à utiliser.", " "},
    {"Et pour lire les informations, appuyer sur le bouton < %s >.", " "},
};

constexpr int kClientWidth = 394;
constexpr int kClientHeight = 225;
constexpr int kButtonGap = 7;       // between the text box and the buttons, and between buttons
constexpr int kCaptionMargin = 20;  // added to a caption's measured width
constexpr int kWindowMargin = 14;   // from the quit button's right edge to the window's
constexpr int kIdleIntervalMs = 2000;
constexpr int kReadingIntervalMs = 300;

QString Text(TextPair& pair, int32_t language) {
    return QString::fromUtf8(pair[language == 1 ? 1 : 0]);
}

QString WithArgument(TextPair& pair, int32_t language, const QString& argument) {
    const QString format = Text(pair, language);
    return format.contains(QLatin1String("%s"))
               ? QString(format).replace(QLatin1String("%s"), argument)
               : format;
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
    // The form as designed.
    setFont(DialogFont());
    setFixedSize(kClientWidth, kClientHeight);
    ButtonLectureInfo = new QPushButton(this);
    ButtonLectureInfo->setObjectName("ButtonLectureInfo");
    ButtonLectureInfo->setGeometry(312, 8, 75, 25);
    MemoInformation = new QPlainTextEdit(this);
    MemoInformation->setObjectName("MemoInformation");
    MemoInformation->setGeometry(8, 8, 297, 209);
    MemoInformation->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoInformation->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Tab goes on to the next control, as in any dialog; the text box takes typing only.
    MemoInformation->setTabChangesFocus(true);
    ButtonChoixLangue = new QPushButton(this);
    ButtonChoixLangue->setObjectName("ButtonChoixLangue");
    ButtonChoixLangue->setGeometry(312, 120, 75, 25);
    ButtonQuitter = new QPushButton(this);
    ButtonQuitter->setObjectName("ButtonQuitter");
    ButtonQuitter->setGeometry(312, 192, 75, 25);
    ButtonConfigPort = new QPushButton(this);
    ButtonConfigPort->setObjectName("ButtonConfigPort");
    ButtonConfigPort->setGeometry(312, 64, 75, 25);
    setTabOrder(ButtonLectureInfo, MemoInformation);
    setTabOrder(MemoInformation, ButtonChoixLangue);
    setTabOrder(ButtonChoixLangue, ButtonQuitter);
    setTabOrder(ButtonQuitter, ButtonConfigPort);
    TimerGestConnection = new QTimer(this);
    TimerGestConnection->setObjectName("TimerGestConnection");

    connect(ButtonLectureInfo, &QPushButton::clicked, this, [this] { ButtonLectureInfoClick(); });
    connect(ButtonConfigPort, &QPushButton::clicked, this, [this] { ButtonConfigPortClick(); });
    connect(ButtonChoixLangue, &QPushButton::clicked, this, [this] { ButtonChoixLangueClick(); });
    connect(ButtonQuitter, &QPushButton::clicked, this, [this] { ButtonQuitterClick(); });
    connect(TimerGestConnection, &QTimer::timeout, this, [this] { TimerGestConnectionTimer(); });

    settingsPath_.clear();
    portDialog_ =
        seams.portTable ? new TConfPort(this, std::move(seams.portTable)) : new TConfPort(this);
    portDialog_->PortsChanged();  // the first scan; whether the port changed does not matter
    readingState_ = kStateIdle;
    TimerGestConnection->setInterval(kIdleIntervalMs);
    TimerGestConnection->start();

    // The quit button sits at the text box's bottom right; the read button at its top.
    ButtonQuitter->setVisible(true);
    ButtonQuitter->setEnabled(true);
    ButtonQuitter->setToolTip(QString());
    const QRect memo = MemoInformation->geometry();
    ButtonQuitter->move(memo.x() + memo.width() + kButtonGap,
                        memo.y() + memo.height() - ButtonQuitter->height());
    ButtonLectureInfo->setEnabled(false);
    ButtonLectureInfo->setVisible(true);
    ButtonLectureInfo->setToolTip(QString());
    ButtonLectureInfo->setGeometry(ButtonQuitter->x(), memo.y(), ButtonLectureInfo->width(),
                                   ButtonQuitter->height());
    for (QPushButton* button : {ButtonConfigPort, ButtonChoixLangue}) {
        button->setEnabled(true);
        button->setVisible(true);
        button->setToolTip(QString());
        button->setGeometry(ButtonQuitter->x(), button->y(), button->width(),
                            ButtonQuitter->height());
    }
    // The port and language buttons, 7 pixels apart, centred between read and quit.
    const int readTop = ButtonLectureInfo->y();
    const int readHeight = ButtonLectureInfo->height();
    const int quitTop = ButtonQuitter->y();
    const int quitHeight = ButtonQuitter->height();
    ButtonConfigPort->move(
        ButtonConfigPort->x(),
        readTop + (quitTop - readTop - 3 * quitHeight - kButtonGap) / 2 + readHeight);
    ButtonChoixLangue->move(ButtonChoixLangue->x(),
                            ButtonConfigPort->y() + ButtonConfigPort->height() + kButtonGap);

    MemoInformation->clear();
    ApplyLanguage();
    if (portDialog_->IsAdapterPort()) {
        ButtonLectureInfo->setEnabled(true);
        link_.SetPort(portDialog_->GetPortNumber());
    }
}

TDlgLectureInformation::~TDlgLectureInformation() {
    FormDestroy();
    // The link's own teardown follows with the members: it ends the conversation and closes.
}

void TDlgLectureInformation::showEvent(QShowEvent* event) {
    if (!shownOnce_) {
        shownOnce_ = true;
        // The window system knows the frame from now on: the outer width counts it, and the
        // window is centred on the screen, frame included, at the width its language gave it.
        SetClientWidthForOuterWidth(ButtonQuitter->x() + ButtonQuitter->width() + kWindowMargin);
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect outer(QPoint(0, 0), frameGeometry().size());
            move(screen->availableGeometry().center() - outer.center());
        }
    }
    QWidget::showEvent(event);
}

void TDlgLectureInformation::FormDestroy() {
    delete portDialog_;
    portDialog_ = nullptr;
}

void TDlgLectureInformation::AppendLine(const std::string& line) {
    MemoInformation->appendPlainText(QString::fromStdString(line));
}

void TDlgLectureInformation::SetClientWidthForOuterWidth(int outerWidth) {
    // The frame is known once the window system has decorated the window; before, it is 0.
    const int frame = frameGeometry().width() - geometry().width();
    setFixedSize(outerWidth - frame, height());
}

void TDlgLectureInformation::ApplyLanguage() {
    const int32_t i = languageIndex_;
    const QString device = QString::fromStdString(CP06::DeviceName());
    setWindowTitle(WithArgument(kCaptionFormat, i, device));

    const struct {
        QPushButton* button;
        TextPair& caption;
    } buttons[] = {{ButtonQuitter, kQuitCaption},
                   {ButtonLectureInfo, kReadCaption},
                   {ButtonConfigPort, kPortCaption},
                   {ButtonChoixLangue, kLanguageCaption}};
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const auto& b : buttons) {
        const QString caption = Text(b.caption, i);
        b.button->setText(caption);
        // Measured as stored, ampersand included.
        b.button->resize(metrics.horizontalAdvance(caption) + kCaptionMargin, b.button->height());
        widest = std::max(widest, b.button->width());
    }
    for (const auto& b : buttons) b.button->resize(widest, b.button->height());
    SetClientWidthForOuterWidth(ButtonQuitter->x() + ButtonQuitter->width() + kWindowMargin);

    for (int line = 0; line < 6; ++line) {
        const QString argument = line == 5 ? Text(kReadCaption, i) : device;
        MemoInformation->appendPlainText(line == 4
                                             ? Text(kInstructions[line], i)
                                             : WithArgument(kInstructions[line], i, argument));
    }
}

void TDlgLectureInformation::SetLanguage(int32_t index) {
    if (index == languageIndex_ || static_cast<uint32_t>(index) > 1) return;
    languageIndex_ = index;
    ApplyLanguage();
    WriteLanguageSetting(settingsPath_, index);
}

void TDlgLectureInformation::SetSettingsPath(const std::string& path) { settingsPath_ = path; }

void TDlgLectureInformation::ButtonQuitterClick() { close(); }

void TDlgLectureInformation::ButtonConfigPortClick() {
    portDialog_->SetLanguage(languageIndex_);
    portDialog_->exec();
    link_.SetPort(portDialog_->GetPortNumber());
    ButtonLectureInfo->setEnabled(true);
}

void TDlgLectureInformation::ButtonChoixLangueClick() {
    if (languageDialog_ == nullptr) return;
    languageDialog_->SetLanguage(languageIndex_);
    languageDialog_->exec();
    SetLanguage(languageDialog_->GetLanguage());
}

// ---- The reading sequence ----

void TDlgLectureInformation::ButtonLectureInfoClick() {
    ButtonConfigPort->setEnabled(false);
    ButtonChoixLangue->setEnabled(false);
    ButtonLectureInfo->setEnabled(false);
    readingState_ = kStateConnect;
    readingStep_.ClearRecord();
    // Setting the interval restarts the timer: the first step runs 300 ms after the click.
    TimerGestConnection->start(kReadingIntervalMs);
}

void TDlgLectureInformation::TimerGestConnectionTimer() {
    if (readingState_ == kStateIdle) {
        if (!portDialog_->PortsChanged()) return;
        if (portDialog_->HasPort()) {
            ButtonLectureInfo->setEnabled(true);
            link_.SetPort(portDialog_->GetPortNumber());
        } else {
            ButtonLectureInfo->setEnabled(false);
        }
        return;
    }
    const ReadingStep::Result result = readingStep_.Tick(readingState_, languageIndex_);
    readingState_ = result.nextState;
    if (result.report == ReadingStep::Report::None) return;
    // No tick may run between the last step and its report.
    TimerGestConnection->stop();
    const int message =
        result.report == ReadingStep::Report::ReadFailed ? WM_READ_FAILED : WM_READ_DONE;
    QCoreApplication::postEvent(this, new ReadMessageEvent(message, 0, 0));
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
    if (message.WParam == 0) {  // the only kind of failure: a unit of another type
        const std::string text = readingStep_.ReportWrongType(languageIndex_);
        MessageBeep(kBeepIconHand);
        ShowErrorBox(QString::fromStdString(text));
    }
    ButtonConfigPort->setEnabled(true);
    ButtonChoixLangue->setEnabled(true);
    ButtonLectureInfo->setEnabled(true);
    readingState_ = kStateIdle;
    TimerGestConnection->start(kIdleIntervalMs);
}

void TDlgLectureInformation::OnReadDone(const ReadMessageEvent&) {
    MessageBeep(kBeepOk);
    readingStep_.ReportDone(languageIndex_);
    ButtonConfigPort->setEnabled(true);
    ButtonChoixLangue->setEnabled(true);
    ButtonLectureInfo->setEnabled(true);
    readingState_ = kStateIdle;
    TimerGestConnection->start(kIdleIntervalMs);
}

void TDlgLectureInformation::MessageBeep(unsigned type) { PlayBeep(type); }

void TDlgLectureInformation::ShowErrorBox(const QString& message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Erreur"), message, QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}
