// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The game as every host plays it: Form1 over the host it sees and the
// surfaces, driven through a Session (recorded when a recorder is given),
// with each cue a demo host starts taken into the session's checksum and
// each round value a world table gives mixed into the recording host's
// generator. The window, the page, the timedemo, the server's replay, the
// bots and the demo recorder all play this one.

#include "demo/recording_host.h"
#include "demo/replay_host.h"
#include "demo/session.h"
#include "draw/surface.h"
#include "game/form1.h"

namespace bopatron::demo {

class WiredGame {
public:
    // The game sees the replay host when one is given (a demo shown), else the
    // recording host when one is given, else own. Without checksums (a session
    // neither recorded nor replayed) no frame is read after its tick.
    WiredGame(runtime::Host& own, draw::Surfaces& surfaces, RecordingHost* recording, ReplayHost* replay,
              Recorder* recorder = nullptr, bool checksums = true);
    // A demo replayed: the game sees host.
    WiredGame(ReplayHost& host, draw::Surfaces& surfaces) : WiredGame(host, surfaces, nullptr, &host) {}
    // A session recorded: the game sees host, and recorder writes its lines.
    WiredGame(RecordingHost& host, draw::Surfaces& surfaces, Recorder& recorder)
        : WiredGame(host, surfaces, &host, nullptr, &recorder) {}
    WiredGame(const WiredGame&) = delete;
    WiredGame& operator=(const WiredGame&) = delete;

    game::Form1 form;
    Session session;
};

}  // namespace bopatron::demo
