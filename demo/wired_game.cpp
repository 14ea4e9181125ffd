// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "demo/wired_game.h"

namespace bopatron::demo {

namespace {

runtime::Host& seenHost(runtime::Host& own, RecordingHost* recording, ReplayHost* replay) {
    if (replay) return *replay;
    if (recording) return *recording;
    return own;
}

}  // namespace

WiredGame::WiredGame(runtime::Host& own, draw::Surfaces& surfaces, RecordingHost* recording, ReplayHost* replay,
                     Recorder* recorder, bool checksums)
    : form(seenHost(own, recording, replay), surfaces), session(form, surfaces, recorder, checksums) {
    const auto cue = [this](const std::string& path) { session.cueStarted(path); };
    if (replay) replay->onCue = cue;
    if (recording) {
        recording->onCue = cue;
        session.foldRandom = [recording](std::uint64_t value) { recording->foldRandom(value); };
    }
}

}  // namespace bopatron::demo
