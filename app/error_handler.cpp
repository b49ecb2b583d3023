#include "error_handler.h"

#include "prompter.h"

#include <QFont>
#include <QIcon>
#include <QStyleFactory>

namespace {
Prompter* gPrompter = nullptr;

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
    const QString text = QString::fromUtf8(e.what());
    if (gPrompter)
        gPrompter->message(text);
    else
        qWarning("%s", e.what());
}

void reportUnknownError() {
    reportError(std::runtime_error("An unexpected error occurred."));
}

bool QuorvaleApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    guarded([&] { handled = QApplication::notify(receiver, event); });
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
