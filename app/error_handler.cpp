#include "error_handler.h"

#include "prompter.h"

#include <QFontDatabase>
#include <QStyleFactory>

namespace {
Prompter* gPrompter = nullptr;

QString sansFamily() {
    const QStringList families = QFontDatabase::families();
    for (const char* f : {"Liberation Sans", "Arial", "DejaVu Sans"})
        if (families.contains(QLatin1String(f)))
            return QLatin1String(f);
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
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

void applyApplicationFont(QApplication& app) {
    app.setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    QFont f(sansFamily());
    f.setPixelSize(11);
    app.setFont(f);
}

QFont listFont() {
    QFont f(sansFamily());
    f.setPixelSize(13);
    return f;
}
