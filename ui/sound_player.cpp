#include "ui/sound_player.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace bopatron::ui {

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {}

SoundPlayer::~SoundPlayer() = default;

SoundPlayer::Voices& SoundPlayer::voices(const std::string& path) {
    auto [it, inserted] = effects_.try_emplace(path);
    if (inserted) {
        const QString file = QString::fromStdString(path);
        // A missing file gets no voices: playing it does nothing.
        if (QFileInfo(file).isFile()) {
            for (std::size_t i = 0; i < kVoices; ++i) {
                auto effect = std::make_unique<QSoundEffect>();
                effect->setSource(QUrl::fromLocalFile(file));
                it->second.effects.push_back(std::move(effect));
            }
        }
    }
    return it->second;
}

void SoundPlayer::preload(const std::string& path) { voices(path); }

void SoundPlayer::play(const std::string& path) {
    ++started_;
    Voices& v = voices(path);
    if (v.effects.empty()) return;
    // Voices take turns, so a new start cuts off only the oldest of them.
    v.effects[v.next]->play();
    v.next = (v.next + 1) % v.effects.size();
}

}  // namespace bopatron::ui
