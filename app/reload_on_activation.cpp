#include "reload_on_activation.h"

#include <QGuiApplication>
#include <QWidget>

ReloadOnActivation::ReloadOnActivation(QWidget* form, std::function<void()> onActivate)
    : QObject(form), form_(form), onActivate_(std::move(onActivate)) {
    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            &ReloadOnActivation::focusWindowChanged);
}

void ReloadOnActivation::focusWindowChanged(QWindow* now) {
    // A closed box is gone by the time the focus comes back, so remember what it was.
    if (!now)
        return;
    const bool afterModal = lastWasModal_;
    lastWasModal_ = now->modality() != Qt::NonModal;
    if (now == form_->windowHandle() && !afterModal)
        onActivate_();
}
