#pragma once

#include <QUrl>

// The sound player lives in a module of its own: Qt Multimedia and the audio libraries under
// it load at the first alert, not when the program starts.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Plays a WAV file; a new sound cuts off one still playing.
    virtual void play(const QUrl& source) = 0;
};

#define QUORVALE_SOUND_FACTORY "quorvale_create_sound_player"
extern "C" using SoundPlayerFactory = SoundPlayer * (*)();
