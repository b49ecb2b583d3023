#include "alert_sink.h"

#include <QApplication>
#include <QFile>
#include <QSoundEffect>
#include <QUrl>
#include <QtEndian>

QtAlertSink::QtAlertSink() = default;
QtAlertSink::~QtAlertSink() = default;

void QtAlertSink::flash(QWidget* window) {
    QApplication::alert(window, 0);
}

void QtAlertSink::playDefaultSound() {
    play(QUrl(QStringLiteral("qrc:/alert.wav")));
}

bool QtAlertSink::playFile(const QString& path) {
    if (!isPlayableWav(path))
        return false;
    play(QUrl::fromLocalFile(path));
    return true;
}

void QtAlertSink::systemSound() {
    QApplication::beep();
}

void QtAlertSink::play(const QUrl& source) {
    // Created at the first alert, so that starting the program does not load the audio stack.
    if (!effect_)
        effect_ = std::make_unique<QSoundEffect>();
    effect_->stop();
    effect_->setSource(source);
    effect_->play();
}

bool isPlayableWav(const QString& path) {
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(36);
    if (head.size() < 36 || !head.startsWith("RIFF") || head.mid(8, 8) != "WAVEfmt ")
        return false;
    const auto format = qFromLittleEndian<quint16>(head.constData() + 20);
    return format == 1; // PCM
}
