#pragma once

#include <QObject>
#include <QPointer>
#include <QWindow>
#include <functional>

class QWidget;

// Runs a form's reload whenever the form becomes the program's active window coming from
// another window of this program, and when it is opened. The form's own pop-up lists, message
// boxes and file choosers, any modal box, and other applications never count: coming back
// from them keeps what the player has typed.
class ReloadOnActivation : public QObject {
public:
    ReloadOnActivation(QWidget* form, std::function<void()> onActivate);

    // Where the focus was before the form got it.
    enum class Came {
        FromNowhere,
        FromTheForm,
        FromItsOwnWindow,
        FromAModalBox,
        FromAnotherWindow
    };
    static bool reloads(Came from) {
        return from == Came::FromNowhere || from == Came::FromAnotherWindow;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void focusWindowChanged(QWindow* now);
    Came classify(QWindow* window) const;

    QWidget* form_;
    std::function<void()> onActivate_;
    Came last_ = Came::FromNowhere; // the last window that had the focus, as the form sees it
};
