#include "window_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>

QPoint centredWithin(QSize outer, QPoint centre, QRect area) {
    const auto place = [](int wanted, int size, int first, int room) {
        return std::max(first, std::min(wanted, first + room - size));
    };
    return {place(centre.x() - outer.width() / 2, outer.width(), area.left(), area.width()),
            place(centre.y() - outer.height() / 2, outer.height(), area.top(), area.height())};
}

namespace {
class FirstShowPlacement : public QObject {
public:
    FirstShowPlacement(QWidget* window, const QWidget* over)
        : QObject(window), window_(window), over_(over) {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Show) {
            place();
            deleteLater();
        }
        return false;
    }

private:
    void place() {
        // A main window hidden for the watcher still tells where it was.
        const bool overShown =
            over_ && (over_->isVisible() || over_->testAttribute(Qt::WA_WState_Created));
        QScreen* screen = overShown ? over_->screen() : window_->screen();
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QPoint centre =
            overShown ? over_->frameGeometry().center() : screen->availableGeometry().center();
        if (QScreen* at = QGuiApplication::screenAt(centre))
            screen = at;
        // Before its first show a window's frame is not known yet: the other window's stands in.
        QSize outer = window_->frameGeometry().size();
        if (outer == window_->size() && overShown)
            outer += over_->frameGeometry().size() - over_->size();
        window_->move(centredWithin(outer, centre, screen->availableGeometry()));
    }

    QWidget* window_;
    QPointer<const QWidget> over_;
};
} // namespace

void placeCentredOnFirstShow(QWidget* window, const QWidget* over) {
    new FirstShowPlacement(window, over);
}
