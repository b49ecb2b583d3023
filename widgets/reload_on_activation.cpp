#include "reload_on_activation.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

ReloadOnActivation::ReloadOnActivation(QWidget* form, std::function<void()> onActivate)
    : QObject(form), form_(form), onActivate_(std::move(onActivate)) {
    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            &ReloadOnActivation::focusWindowChanged);
    form_->installEventFilter(this);
}

bool ReloadOnActivation::eventFilter(QObject* watched, QEvent* event) {
    // Opening the form is an activation even when the focus is elsewhere (another application
    // in front, or no window system focus at all).
    if (watched == form_ && event->type() == QEvent::Show) {
        onActivate_();
        last_ = Came::FromTheForm;
    }
    return false;
}

ReloadOnActivation::Came ReloadOnActivation::classify(QWindow* window) const {
    if (!window)
        return Came::FromNowhere;
    if (window == form_->windowHandle())
        return Came::FromTheForm;
    for (const QWindow* w = window; w; w = w->transientParent())
        if (w == form_->windowHandle())
            return Came::FromItsOwnWindow;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->windowHandle() != window)
            continue;
        for (QWidget* w = top->parentWidget(); w; w = w->parentWidget())
            if (w->window() == form_)
                return Came::FromItsOwnWindow;
    }
    return window->modality() != Qt::NonModal ? Came::FromAModalBox : Came::FromAnotherWindow;
}

void ReloadOnActivation::focusWindowChanged(QWindow* now) {
    // Another application took the focus: remember who had it, so that coming back is no
    // activation. A closed box is gone by the time the focus returns, so classify on arrival.
    if (!now)
        return;
    const Came before = last_;
    last_ = classify(now);
    if (last_ == Came::FromTheForm && form_->isVisible() && reloads(before))
        onActivate_();
}
