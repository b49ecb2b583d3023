#pragma once

#include <QApplication>
#include <exception>
#include <utility>

class Prompter;

// The application's general error handler: an error raised in a handler ends that handler and
// is shown in a box captioned "Quorvale"; the program carries on.
void setErrorPrompter(Prompter* prompter);
void reportError(const std::exception& e);
void reportUnknownError();

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

// Catches what a handler let through, so no exception reaches the event loop.
class QuorvaleApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

// The application's name, icon, style and fonts (11 pixels high in a sans-serif face).
void setUpApplication(QApplication& app);
QFont listFont(); // 13 pixels high
