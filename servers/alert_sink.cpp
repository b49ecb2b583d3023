#include "alert_sink.h"

#include "sound_module.h"
#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include <QDir>
#include <QLibrary>
#include <QUrl>
#include <QWidget>
#include <QtEndian>

#ifdef _WIN32
#include <windows.h>

#include <mmsystem.h>
#endif

DesktopAlertSink::DesktopAlertSink() = default;
DesktopAlertSink::~DesktopAlertSink() = default;

#ifdef _WIN32
void DesktopAlertSink::flash(QWidget* window) {
    // Caption and taskbar button, three times at the system's rate.
    FLASHWINFO info{};
    info.cbSize = sizeof info;
    info.hwnd = reinterpret_cast<HWND>(window->window()->winId());
    info.dwFlags = FLASHW_ALL;
    info.uCount = 3;
    FlashWindowEx(&info);
}

void DesktopAlertSink::playDefaultSound() {
    PlaySoundW(MAKEINTRESOURCEW(1), GetModuleHandleW(nullptr), SND_RESOURCE | SND_ASYNC);
}

bool DesktopAlertSink::playFile(const QString& path) {
    if (!isPlayableWav(path))
        return false;
    PlaySoundW(reinterpret_cast<LPCWSTR>(path.utf16()), nullptr,
               SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
    return true;
}

void DesktopAlertSink::systemSound() {
    PlaySoundW(reinterpret_cast<LPCWSTR>(SND_ALIAS_SYSTEMDEFAULT), nullptr,
               SND_ALIAS_ID | SND_ASYNC);
}
#else
void DesktopAlertSink::flash(QWidget* window) {
    QApplication::alert(window, 0);
}

void DesktopAlertSink::playDefaultSound() {
    play(QUrl(QStringLiteral("qrc:/alert.wav")));
}

bool DesktopAlertSink::playFile(const QString& path) {
    if (!isPlayableWav(path))
        return false;
    play(QUrl::fromLocalFile(path));
    return true;
}

void DesktopAlertSink::systemSound() {
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

void DesktopAlertSink::play(const QUrl& source) {
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

#endif

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
