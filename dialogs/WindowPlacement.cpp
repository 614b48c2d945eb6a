#include "dialogs/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
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
                // A window that sizes itself once shown (a message box) is centred anew; one
                // that grows later (a dialog that lists more ports) stays on the screen.
                if (!window_->isVisible()) break;
                if (!settled_)
                    CentreWhenOuterSizeChanged();
                else
                    KeepOnScreen();
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
        const QRect available = AvailableGeometry();
        if (available.isEmpty()) return;
        placedSize_ = window_->frameGeometry().size();
        const QRect outer(QPoint(0, 0), placedSize_);
        window_->move(OnScreen(available.center() - outer.center(), available));
    }

    void KeepOnScreen() {
        const QRect available = AvailableGeometry();
        const QRect outer = window_->frameGeometry();
        if (available.isEmpty() || available.contains(outer)) return;
        window_->move(OnScreen(outer.topLeft(), available));
    }

    // Where the window's frame goes so that it lies on the screen, or, when it is larger,
    // starts at the screen's top left corner, caption and first columns in sight.
    QPoint OnScreen(QPoint topLeft, const QRect& available) const {
        const QSize size = window_->frameGeometry().size();
        topLeft.setX(std::min(topLeft.x(), available.right() + 1 - size.width()));
        topLeft.setY(std::min(topLeft.y(), available.bottom() + 1 - size.height()));
        topLeft.setX(std::max(topLeft.x(), available.left()));
        topLeft.setY(std::max(topLeft.y(), available.top()));
        return topLeft;
    }

    QRect AvailableGeometry() const {
        QScreen* screen = window_->screen();
        if (screen == nullptr) screen = QGuiApplication::primaryScreen();
        return screen != nullptr ? screen->availableGeometry() : QRect();
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
