#include "dialogs/Tconfigurationport.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <algorithm>
#include <climits>
#include <optional>

#include "dialogs/DialogFont.h"
#include "dialogs/RadioGroupColumns.h"
#include "dialogs/WindowPlacement.h"

namespace {
// The window's texts.
constexpr TextPair kWindowCaption = {"Comfiguration du port série", "Serial port settings"};
constexpr TextPair kGroupCaption = {"Port série", "Serial port"};
constexpr TextPair kValidationCaption = {"Valider", "Valid"};
constexpr TextPair kSearchCaption = {"Recherche des Ports", "ports searching (in progress)"};

// The scan failure message, the same in both languages.
const char* const kErrorCaption = "Erreur";
const char* const kNoPortMessage = " Pas de port serie";
const char* const kOkButton = "OK";

// Character height of the dialog font, negative as the font height convention has it
// for a character height; a row of the port group takes 2 - kFontHeight = 13 pixels.
constexpr int kFontHeight = -11;
constexpr int kRowHeight = 2 - kFontHeight;
// Ports per column of the group, and the width given to each column.
constexpr int kPortsPerColumn = 10;
constexpr int kColumnWidth = 150;
// A single column also leaves two rows of room for the caption and the frame; several
// columns are always 12 rows high.
constexpr int kExtraRowsOfOneColumn = 2;
constexpr int kRowsOfSeveralColumns = 12;
// Space between the group and the buttons below it.
constexpr int kButtonGap = 10;

// Design geometry, counted from inside the inner margin.
constexpr QRect kValidationRect(0, 24, 97, 25);
constexpr QRect kGroupRect(3, 0, 89, 17);
constexpr QRect kSearchRect(104, 24, 147, 25);
constexpr int kButtonHeight = 25;

QString FromLabel(const std::string& label) { return QString::fromLocal8Bit(label); }
std::string ToLabel(const QString& text) { return text.toLocal8Bit().toStdString(); }
}  // namespace

TConfPort::TConfPort(QWidget* owner, std::unique_ptr<PortTable> table)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      PortDiscovery(std::move(table)) {
    Q_INIT_RESOURCE(dialogs);
    setFont(DialogFont());
    setWindowIcon(QIcon(QStringLiteral(":/dialogs/TConfPort.png")));

    // Created in tab order.
    Validation = new QPushButton(this);
    RadioGroupPortSerie = new RadioGroupColumns(this);
    ButtonRecherchePort = new QPushButton(this);
    PlaceControl(Validation, kValidationRect.left(), kValidationRect.top(), kValidationRect.width(),
                 kValidationRect.height());
    PlaceControl(RadioGroupPortSerie, kGroupRect.left(), kGroupRect.top(), kGroupRect.width(),
                 kGroupRect.height());
    PlaceControl(ButtonRecherchePort, kSearchRect.left(), kSearchRect.top(), kSearchRect.width(),
                 kSearchRect.height());
    connect(Validation, &QPushButton::clicked, this, &TConfPort::ValidationClick);
    connect(ButtonRecherchePort, &QPushButton::clicked, this, &TConfPort::FormShow);

    ApplyLanguage();
    ButtonRecherchePort->resize(ButtonRecherchePort->width(), kButtonHeight);
    Validation->resize(Validation->width(), kButtonHeight);
    PortNumber = 0;
    SelectedIndex = -1;
    PortLabels.clear();
    buttonTop_ = kValidationRect.top();
    FitToControls();
    // Fitted again once the frame is known, before each centring.
    CentreOnScreenWhenShown(this, [this] { FitToControls(); });
}

TConfPort::~TConfPort() { FormDestroy(); }

void TConfPort::SetLanguage(int index) {
    const std::optional<Language> language = LanguageFromIndex(index);
    if (!language || *language == language_) return;
    language_ = *language;
    ApplyLanguage();
}

void TConfPort::ApplyLanguage() {
    setWindowTitle(QString::fromUtf8(Text(kWindowCaption, language_)));
    RadioGroupPortSerie->setTitle(QString::fromUtf8(Text(kGroupCaption, language_)));
    Validation->setText(QString::fromUtf8(Text(kValidationCaption, language_)));
    ButtonRecherchePort->setText(QString::fromUtf8(Text(kSearchCaption, language_)));
    FitButtonCaption(Validation);
    FitButtonCaption(ButtonRecherchePort);
}

QRect TConfPort::ControlRect(const QWidget* control) const {
    // Through the strip a scrolling group sits in.
    return QRect(control->mapTo(this, QPoint(0, 0)), control->size())
        .translated(-kInnerMargin, -kInnerMargin);
}

void TConfPort::FormShow() {
    if (!ScanPorts()) {
        ReportScanFailure();
        return;
    }
    RadioGroupPortSerie->ClearItems();
    for (const std::string& label : PortLabels) RadioGroupPortSerie->AddItem(FromLabel(label));
    // The device file as a tooltip: the column has room for the label and its mark only.
    for (size_t i = 0; i < PortDevices.size(); ++i) {
        if (QRadioButton* button = RadioGroupPortSerie->ItemButton(static_cast<int>(i)))
            button->setToolTip(QString::fromLocal8Bit(PortDevices[i]));
    }
    RadioGroupPortSerie->SetItemIndex(SelectedIndex);

    const int count = static_cast<int>(PortLabels.size());
    const int columns = (count + kPortsPerColumn - 1) / kPortsPerColumn;
    RadioGroupPortSerie->SetColumns(columns);
    const int rows = columns == 1 ? count + kExtraRowsOfOneColumn : kRowsOfSeveralColumns;
    const int height = rows * kRowHeight + kGroupRect.top();
    buttonTop_ = height + kButtonGap;
    // The width follows the computed columns, also beyond the 16 the group shows.
    RadioGroupPortSerie->resize(columns * kColumnWidth, height);
    FitToControls();
}

void TConfPort::ValidationClick() {
    const int index = RadioGroupPortSerie->ItemIndex();
    if (index < 0) {
        QApplication::beep();
        return;
    }
    // The group's own copy of the labels: discovery may have rescanned since it was filled.
    PortNumber = ParsePortNumber(ToLabel(RadioGroupPortSerie->ItemText(index)));
    SelectedIndex = index;
    accept();
}

void TConfPort::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    FormShow();
}

void TConfPort::FormDestroy() { ReleaseLabels(); }

void TConfPort::FitToControls() {
    const QSize group = RadioGroupPortSerie->size();
    const int room = ScreenRoomWidth() - 2 * kInnerMargin - kGroupRect.left();
    const bool scrolls = group.width() > room;
    if (scrolls) ScrollGroup();
    QWidget* groupBox = RadioGroupPortSerie;
    int scrollBarHeight = 0;
    if (groupScroller_ == nullptr) {
        PlaceControl(RadioGroupPortSerie, kGroupRect.left(), kGroupRect.top(), group.width(),
                     group.height());
    } else {
        // Too wide for the screen, the group keeps its columns in a strip of the screen's
        // width that scrolls, with the buttons below the strip's scroll bar. Once the group
        // fits again the strip takes its whole size and shows no bar.
        groupScroller_->setHorizontalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn
                                                             : Qt::ScrollBarAlwaysOff);
        if (scrolls) scrollBarHeight = groupScroller_->horizontalScrollBar()->sizeHint().height();
        PlaceControl(groupScroller_, kGroupRect.left(), kGroupRect.top(),
                     scrolls ? std::max(room, 0) : group.width(), group.height() + scrollBarHeight);
        groupBox = groupScroller_;
    }
    PlaceControl(Validation, kValidationRect.left(), buttonTop_ + scrollBarHeight,
                 Validation->width(), Validation->height());
    PlaceControl(ButtonRecherchePort, kSearchRect.left(), buttonTop_ + scrollBarHeight,
                 ButtonRecherchePort->width(), ButtonRecherchePort->height());

    int right = 0;
    int bottom = 0;
    for (const QWidget* control : {static_cast<QWidget*>(Validation), groupBox,
                                   static_cast<QWidget*>(ButtonRecherchePort)}) {
        right = std::max(right, control->x() + control->width());
        bottom = std::max(bottom, control->y() + control->height());
    }
    setFixedSize(right + kInnerMargin, bottom + kInnerMargin);
}

int TConfPort::ScreenRoomWidth() const {
    const QScreen* screen = this->screen();
    if (screen == nullptr) return INT_MAX;
    return screen->availableGeometry().width() - FrameWidth(this);
}

void TConfPort::ScrollGroup() {
    if (groupScroller_ != nullptr) return;
    groupScroller_ = new QScrollArea(this);
    groupScroller_->setFrameShape(QFrame::NoFrame);
    groupScroller_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab still goes from the confirm button to the group's items and on to the search
    // button: the strip takes no focus, and the group moves within the same window.
    groupScroller_->setFocusPolicy(Qt::NoFocus);
    const QSize size = RadioGroupPortSerie->size();
    groupScroller_->setWidget(RadioGroupPortSerie);
    RadioGroupPortSerie->resize(size);
    groupScroller_->show();
    // An item reached with the arrow keys is scrolled into view.
    connect(qApp, &QApplication::focusChanged, groupScroller_, [this](QWidget*, QWidget* now) {
        if (now != nullptr && RadioGroupPortSerie->isAncestorOf(now))
            groupScroller_->ensureWidgetVisible(now);
    });
}

void TConfPort::PlaceControl(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(kInnerMargin + left, kInnerMargin + top, width, height);
}

void TConfPort::ReportScanFailure() {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kErrorCaption),
                    QString::fromUtf8(kNoPortMessage), QMessageBox::NoButton, this);
    box.addButton(QString::fromUtf8(kOkButton), QMessageBox::AcceptRole);
    box.exec();
    // Closes once the message box is gone and the show or click that got here is over.
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}
