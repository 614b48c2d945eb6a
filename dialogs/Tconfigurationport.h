// The port dialog: lists the serial ports that discovery found as radio buttons, with the
// chosen port selected, and lets the bench user confirm another port or search again.
// The same object holds the discovery state (it is a PortDiscovery), so the main window
// asks it for the port to open whether or not the dialog was ever shown.
#pragma once

#include <QDialog>
#include <memory>

#include "dialogs/Language.h"
#include "dialogs/PortDiscovery.h"

class QPushButton;
class QScrollArea;
class QShowEvent;
class RadioGroupColumns;

class TConfPort : public QDialog, public PortDiscovery {
    Q_OBJECT

public:
    // Space between the window frame and the controls on every side; control positions
    // are counted from inside it.
    static constexpr int kInnerMargin = 10;

    explicit TConfPort(QWidget* owner, std::unique_ptr<PortTable> table = MakeSystemPortTable());
    ~TConfPort() override;

    // Takes index when it is 0 (French) or 1 (English) and differs from the current one.
    void SetLanguage(int index);
    void ApplyLanguage();
    int LanguageIndex() const { return IndexOf(language_); }

    // A control's rectangle counted from the client origin inside the inner margin (for a
    // group that scrolls, where it lies with the strip scrolled to its start).
    QRect ControlRect(const QWidget* control) const;

    // Scans the ports and refills the dialog; runs on every show and on the search button.
    void FormShow();
    // Takes the selected item as the port and closes; refused when no item is selected.
    void ValidationClick();

    QPushButton* Validation;
    RadioGroupColumns* RadioGroupPortSerie;
    QPushButton* ButtonRecherchePort;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormDestroy();
    // Places the group and the buttons and fits the window around them with its margin. A
    // group wider than the screen scrolls in a strip of the screen's width.
    void FitToControls();
    // The client width the window's screen leaves beside the window's frame.
    int ScreenRoomWidth() const;
    // Moves the group into the strip it scrolls in, made the first time it is needed.
    void ScrollGroup();
    void PlaceControl(QWidget* control, int left, int top, int width, int height);
    void ReportScanFailure();

    Language language_ = Language::French;
    // Top of the buttons below the group, as the last layout of the ports set it.
    int buttonTop_ = 0;
    // The strip the group scrolls in, from the first time the group is too wide.
    QScrollArea* groupScroller_ = nullptr;
};
