#include "sound_module.h"

#include <QSoundEffect>

namespace {
class EffectPlayer : public SoundPlayer {
public:
    void play(const QUrl& source) override {
        effect_.stop();
        effect_.setSource(source);
        effect_.play();
    }

private:
    QSoundEffect effect_; // with no audio device it stays silent
};
} // namespace

extern "C" Q_DECL_EXPORT SoundPlayer* quorvale_create_sound_player() {
    return new EffectPlayer;
}
