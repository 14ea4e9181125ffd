// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A session of the game as a host drives it: every event that reaches
// Form1's handlers passes through here, so that it can be recorded as a demo,
// and every frame a tick presents is added to a running checksum.

#include "demo/checksum.h"
#include "demo/demo_file.h"
#include "demo/recording_host.h"
#include "demo/replay_host.h"
#include "draw/surface.h"
#include "game/form1.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bopatron::demo {

// Drives Form1 for a host: each call runs one handler, records it when a
// recorder is given, and keeps the ticks played and a running checksum of
// every frame presented and every cue started, in order.
class Session {
public:
    // Without checksums (a session neither recorded nor replayed) no frame is
    // read after its tick.
    Session(game::Form1& form, draw::Surfaces& surfaces, Recorder* recorder = nullptr, bool checksums = true)
        : form_(form), surfaces_(surfaces), recorder_(recorder), checksums_(checksums) {}

    void load() { form_.Form_Load(); }
    void click();
    void mouseMove(std::int16_t button, std::int16_t shift, float x, float y);
    void mouseDown(std::int16_t button, std::int16_t shift, float x, float y);
    void mouseUp(std::int16_t button, std::int16_t shift, float x, float y);
    void tick();
    // A world table's value for the round about to start: recorded, then
    // mixed into the generator by foldRandom before the round's first tick.
    void roundValue(std::uint64_t value);
    // A cue the game started, which the checksum takes in.
    void cueStarted(const std::string& path) {
        if (checksums_) checksum_ = cueChecksum(checksum_, path);
    }
    // Writes the closing line: the ticks played, the score and the checksum.
    void close();

    // Mixes a round's value into the generator the game draws from (the recording host's).
    std::function<void(std::uint64_t value)> foldRandom;

    // Goes on from a session stopped earlier: its ticks played and checksum so far.
    void resume(long ticks, std::uint64_t checksum) {
        ticks_ = ticks;
        checksum_ = checksum;
    }

    long ticksPlayed() const { return ticks_; }
    std::uint64_t checksum() const { return checksum_; }
    std::int16_t score() const { return form_.state().score; }
    // The score each round ended in this session had at its high-score step,
    // in order: what the table placed and the window showed. The closing score
    // can be lower, as the rats take their last step after that step.
    const std::vector<std::int16_t>& roundScores() const { return roundScores_; }
    // The checkpoint or closing line of this moment.
    Event summary(Event::Kind kind) const;

private:
    void record(Event event);
    void mouse(Event::Kind kind, std::int16_t button, std::int16_t shift, float x, float y);

    game::Form1& form_;
    draw::Surfaces& surfaces_;
    Recorder* recorder_;
    bool checksums_;
    long ticks_ = 0;
    std::uint64_t checksum_ = kChecksumStart;
    std::vector<std::int16_t> roundScores_;
};

// What playing a demo to its end found.
struct Outcome {
    long ticks = 0;
    std::int16_t score = 0;
    std::uint64_t checksum = 0;
    std::vector<std::int16_t> roundScores;  // each round's score at its high-score step
    std::string difference;  // the first checkpoint or closing line that differs; "" when all match
    bool closed = false;     // the demo has its closing line
};

// Plays the demo's events through a session whose game sees the replay host,
// until the end of the demo, or, with stopAfterTick, just after the next tick,
// or just before an event for which stopBefore says so. Returns false when the
// demo has no more events. Checkpoints are compared as they come; a Mismatch
// is thrown when the demo and the game part ways.
bool playEvents(ReplayHost& host, Session& session, Outcome& outcome, bool stopAfterTick,
                const std::function<bool(const Event&)>& stopBefore = {});

}  // namespace bopatron::demo
