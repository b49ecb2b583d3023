#include "error_handler.h"

#include "prompter.h"

#include <QFont>
#include <QIcon>
#include <QStyleFactory>
#include <algorithm>
#include <deque>

namespace {
Prompter* gPrompter = nullptr;
std::deque<QString> gWaiting; // errors to be shown, oldest first
QString gShowing;             // the text on screen
bool gShowScheduled = false;
bool gShowingNow = false;

void show(const QString& text) {
    if (gPrompter)
        gPrompter->message(text);
    else
        qWarning("%s", qPrintable(text));
}

void showWaiting() {
    gShowScheduled = false;
    if (gShowingNow)
        return; // the box on screen takes the rest in turn
    gShowingNow = true;
    while (!gWaiting.empty()) {
        gShowing = gWaiting.front();
        gWaiting.pop_front();
        show(gShowing);
    }
    gShowing.clear();
    gShowingNow = false;
}

// The first of these that the system has; asking the font matcher is cheaper at start-up
// than listing every family.
QFont sansFont(int pixels) {
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                   QStringLiteral("DejaVu Sans")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    return f;
}
} // namespace

void setErrorPrompter(Prompter* prompter) {
    gPrompter = prompter;
}

void reportError(const std::exception& e) {
    show(QString::fromUtf8(e.what()));
}

void reportErrorLater(const std::exception& e) {
    const QString text = QString::fromUtf8(e.what());
    if ((gShowingNow && text == gShowing) ||
        std::find(gWaiting.begin(), gWaiting.end(), text) != gWaiting.end())
        return;
    gWaiting.push_back(text);
    if (gShowScheduled || gShowingNow)
        return;
    gShowScheduled = true;
    if (qApp)
        QMetaObject::invokeMethod(qApp, &showWaiting, Qt::QueuedConnection);
    else
        showWaiting();
}

void resetErrorHandler() {
    gPrompter = nullptr;
    gWaiting.clear();
    gShowing.clear();
    gShowScheduled = false;
    gShowingNow = false;
}

void reportUnknownError() {
    reportError(std::runtime_error("An unexpected error occurred."));
}

bool QuorvaleApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    guardedLater([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void setUpApplication(QApplication& app) {
    // The name only: a display name would be added to every window's caption.
    QApplication::setApplicationName(QStringLiteral("Quorvale"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quorvale.png")));
    app.setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    app.setFont(sansFont(11));
}

QFont listFont() {
    return sansFont(13);
}
