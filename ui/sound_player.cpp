// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/sound_player.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace bopatron::ui {

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {
    // Without a device Qt has already said so once; a voice made anyway would say it again.
    haveDevice_ = !QMediaDevices::defaultAudioOutput().isNull();
}

SoundPlayer::~SoundPlayer() = default;

QSoundEffect& SoundPlayer::addVoice(Voices& v) {
    auto effect = std::make_unique<QSoundEffect>();
    effect->setSource(QUrl::fromLocalFile(v.file));
    v.effects.push_back(std::move(effect));
    return *v.effects.back();
}

SoundPlayer::Voices& SoundPlayer::voices(const std::string& path) {
    auto [it, inserted] = effects_.try_emplace(path);
    // A missing file, or no device to play on, gets no voices: playing it does nothing.
    if (inserted && haveDevice_ && QFileInfo(QString::fromStdString(path)).isFile()) {
        it->second.file = QString::fromStdString(path);
        addVoice(it->second);
    }
    return it->second;
}

void SoundPlayer::preload(const std::string& path) { voices(path); }

void SoundPlayer::play(const std::string& path) {
    ++started_;
    Voices& v = voices(path);
    if (v.effects.empty()) return;
    QSoundEffect* voice = v.effects[v.next].get();
    if (voice->isPlaying() && v.effects.size() < kVoices) {
        voice = &addVoice(v);
        v.next = v.effects.size() - 1;
    }
    voice->play();
    // Voices take turns, so a new start cuts off only the oldest of them.
    v.next = (v.next + 1) % v.effects.size();
}

}  // namespace bopatron::ui
