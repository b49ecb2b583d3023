#pragma once

#include <QObject>
#include <QWindow>
#include <functional>

class QWidget;

// Runs a form's activation handler whenever the form becomes the program's active window:
// when it is opened and when the user comes back to it from another window. Getting the focus
// back from a modal box the form itself opened is no new activation.
class ReloadOnActivation : public QObject {
public:
    ReloadOnActivation(QWidget* form, std::function<void()> onActivate);

private:
    void focusWindowChanged(QWindow* now);

    QWidget* form_;
    std::function<void()> onActivate_;
    bool lastWasModal_ = false;
};
