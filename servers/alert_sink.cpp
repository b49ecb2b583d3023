#include "alert_sink.h"

#include "sound_module.h"
#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include <QDir>
#include <QLibrary>
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

namespace {
// The module sits next to the program in the build, in the library folder once installed.
SoundPlayer* loadPlayer() {
    const QString bin = QCoreApplication::applicationDirPath();
    for (const QString& dir : {bin, QDir(bin).filePath(QStringLiteral(QUORVALE_MODULE_DIR))}) {
        QLibrary lib(QDir(dir).filePath(QStringLiteral("quorvale_sound")));
        if (!lib.load())
            continue;
        if (auto create = reinterpret_cast<SoundPlayerFactory>(lib.resolve(QUORVALE_SOUND_FACTORY)))
            return create();
    }
    return nullptr;
}
} // namespace

void QtAlertSink::play(const QUrl& source) {
    if (!player_ && !loadFailed_) {
        player_.reset(loadPlayer());
        loadFailed_ = !player_;
        if (loadFailed_)
            qWarning("The sound module could not be loaded; alerts use the system sound.");
    }
    if (player_)
        player_->play(source);
    else
        QApplication::beep();
}

bool isPlayableWav(const QString& path) {
    // A named pipe or a device would block the open, and with it the whole program.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(36);
    if (head.size() < 36 || !head.startsWith("RIFF") || head.mid(8, 8) != "WAVEfmt ")
        return false;
    const auto format = qFromLittleEndian<quint16>(head.constData() + 20);
    return format == 1; // PCM
}
