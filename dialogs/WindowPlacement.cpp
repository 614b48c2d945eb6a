#include "dialogs/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <utility>

namespace {

class Centring : public QObject {
public:
    Centring(QWidget* window, std::function<void()> beforeCentring)
        : QObject(window), window_(window), beforeCentring_(std::move(beforeCentring)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_) return false;
        switch (event->type()) {
            case QEvent::Show:
                if (!event->spontaneous()) {
                    settled_ = false;
                    Centre();
                }
                break;
            case QEvent::Resize:
                // A window that sizes itself once shown (a message box) is centred anew.
                if (!settled_ && window_->isVisible()) CentreWhenOuterSizeChanged();
                break;
            case QEvent::Paint:
                // On screen at last: an X window manager has put its frame around the window
                // by now, without a move or resize event to say so. The window is placed after
                // its paint, not during it.
                if (settled_ || !event->spontaneous()) break;
                settled_ = true;
                QMetaObject::invokeMethod(
                    this, [this] { CentreWhenOuterSizeChanged(); }, Qt::QueuedConnection);
                break;
            default:
                break;
        }
        return false;
    }

private:
    void CentreWhenOuterSizeChanged() {
        if (window_->frameGeometry().size() != placedSize_) Centre();
    }

    void Centre() {
        if (beforeCentring_) beforeCentring_();
        QScreen* screen = window_->screen();
        if (screen == nullptr) screen = QGuiApplication::primaryScreen();
        if (screen == nullptr) return;
        placedSize_ = window_->frameGeometry().size();
        const QRect outer(QPoint(0, 0), placedSize_);
        window_->move(screen->availableGeometry().center() - outer.center());
    }

    QWidget* window_;
    std::function<void()> beforeCentring_;
    QSize placedSize_;
    bool settled_ = false;
};

}  // namespace

void CentreOnScreenWhenShown(QWidget* window, std::function<void()> beforeCentring) {
    new Centring(window, std::move(beforeCentring));
}

int FrameWidth(const QWidget* window) {
    return window->frameGeometry().width() - window->geometry().width();
}
