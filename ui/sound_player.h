// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Plays .wav files with Qt Multimedia: each file is loaded once and reused,
// cues overlap and mix, and a missing or unreadable file plays nothing.
// Without a sound device nothing is loaded and every cue plays nothing.

#include <QObject>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QSoundEffect;

namespace bopatron::ui {

class SoundPlayer : public QObject {
public:
    explicit SoundPlayer(QObject* parent = nullptr);
    ~SoundPlayer() override;

    // Loads a file ahead of its first use, so that the first play is not late.
    void preload(const std::string& path);
    // Starts the file playing and returns at once.
    void play(const std::string& path);
    // Cues started so far.
    long started() const { return started_; }

private:
    // A cue started again while it still plays gets another voice, up to
    // this many, so that it mixes with itself instead of cutting itself off.
    static constexpr std::size_t kVoices = 3;
    struct Voices {
        QString file;  // empty when the file is missing
        std::vector<std::unique_ptr<QSoundEffect>> effects;
        std::size_t next = 0;  // the voice started longest ago
    };
    Voices& voices(const std::string& path);
    QSoundEffect& addVoice(Voices& v);

    bool haveDevice_ = false;
    std::map<std::string, Voices> effects_;
    long started_ = 0;
};

}  // namespace bopatron::ui
