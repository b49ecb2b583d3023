#pragma once

#include <QApplication>
#include <exception>
#include <stdexcept>
#include <utility>

class Prompter;

// The application's general error handler: an error raised in a handler ends that handler and
// is shown in a box captioned "Quorvale"; the program carries on.
void setErrorPrompter(Prompter* prompter);
void reportError(const std::exception& e);
void reportUnknownError();

// The same, for network and timer handlers, which must not run a modal box themselves: the
// box comes once the handler has returned, and events keep flowing while it is open. A text
// already waiting or on screen is not queued again.
void reportErrorLater(const std::exception& e);

// Forgets the prompter and every error waiting or on screen, so that each test starts afresh.
void resetErrorHandler();

template <typename F> bool guarded(F&& f) {
    try {
        std::forward<F>(f)();
        return true;
    } catch (const std::exception& e) {
        reportError(e);
    } catch (...) {
        reportUnknownError();
    }
    return false;
}

template <typename F> bool guardedLater(F&& f) {
    try {
        std::forward<F>(f)();
        return true;
    } catch (const std::exception& e) {
        reportErrorLater(e);
    } catch (...) {
        reportErrorLater(std::runtime_error("An unexpected error occurred."));
    }
    return false;
}

// Catches what a handler let through, so no exception reaches the event loop; it is shown
// after the event, whichever it was, has been handled.
class QuorvaleApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

// The application's name, icon, style and fonts (11 pixels high in a sans-serif face).
void setUpApplication(QApplication& app);
QFont listFont(); // 13 pixels high
