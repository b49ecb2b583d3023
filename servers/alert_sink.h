#pragma once

#include <QString>
#include <memory>

class QWidget;
class QUrl;
class SoundPlayer;

// Sound and attention for the watcher's alerts.
class AlertSink {
public:
    virtual ~AlertSink() = default;
    // Flashes the program's taskbar button.
    virtual void flash(QWidget* window) = 0;
    virtual void playDefaultSound() = 0;
    // Plays a WAV file; false when the file cannot be played.
    virtual bool playFile(const QString& path) = 0;
    virtual void systemSound() = 0;
};

// The desktop's own sound and taskbar. On Windows, PlaySound with the program's "WAVE" resource 1
// and FlashWindowEx; elsewhere Qt Multimedia from the sound module. With no audio device the
// sounds stay silent.
class DesktopAlertSink : public AlertSink {
public:
    DesktopAlertSink();
    ~DesktopAlertSink() override;
    void flash(QWidget* window) override;
    void playDefaultSound() override;
    bool playFile(const QString& path) override;
    void systemSound() override;

private:
    void play(const QUrl& source);
    std::unique_ptr<SoundPlayer> player_;
    bool loadFailed_ = false;
};

// Whether a file holds RIFF WAVE audio in PCM, the only kind the alert plays.
bool isPlayableWav(const QString& path);
