// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "demo/session.h"

namespace bopatron::demo {

namespace {

using Kind = Event::Kind;

Event eventOf(Kind kind) {
    Event event;
    event.kind = kind;
    return event;
}

}  // namespace

void Session::record(Event event) {
    if (recorder_ != nullptr) recorder_->add(event);
}

void Session::click() {
    record(eventOf(Kind::Click));
    form_.Command1_Click();
}

void Session::mouse(Kind kind, std::int16_t button, std::int16_t shift, float x, float y) {
    Event event = eventOf(kind);
    event.button = button;
    event.shift = shift;
    event.x = x;
    event.y = y;
    record(event);
}

void Session::mouseMove(std::int16_t button, std::int16_t shift, float x, float y) {
    mouse(Kind::Move, button, shift, x, y);
    form_.Form_MouseMove(button, shift, x, y);
}

void Session::mouseDown(std::int16_t button, std::int16_t shift, float x, float y) {
    mouse(Kind::Down, button, shift, x, y);
    form_.Form_MouseDown(button, shift, x, y);
}

void Session::mouseUp(std::int16_t button, std::int16_t shift, float x, float y) {
    mouse(Kind::Up, button, shift, x, y);
    form_.Form_MouseUp(button, shift, x, y);
}

void Session::tick() {
    record(eventOf(Kind::Tick));
    // Nothing in a tick changes the score before its high-score step: the
    // score it places is the one the tick starts with.
    const std::int16_t atStart = score();
    form_.Timer1_Timer();
    if (checksums_) checksum_ = frameChecksum(checksum_, surfaces_.shown());
    ++ticks_;
    // Also after the tick that ends a round, so that every frame of a round is
    // vouched for as soon as the round is over.
    const bool roundEnded = form_.state().ticks == game::kRoundTicks;
    if (roundEnded) roundScores_.push_back(atStart);
    if (ticks_ % kCheckpointEvery == 0 || roundEnded) record(summary(Kind::Checkpoint));
}

void Session::roundValue(std::uint64_t value) {
    Event event = eventOf(Kind::Value);
    event.value = value;
    record(event);
    if (foldRandom) foldRandom(value);
}

void Session::close() { record(summary(Kind::End)); }

Event Session::summary(Kind kind) const {
    Event event = eventOf(kind);
    event.ticks = ticks_;
    event.score = score();
    event.value = checksum_;
    return event;
}

bool playEvents(ReplayHost& host, Session& session, Outcome& outcome, bool stopAfterTick,
                const std::function<bool(const Event&)>& stopBefore) {
    const auto compare = [&](const Event& recorded) {
        const Event played = session.summary(recorded.kind);
        if (outcome.difference.empty() &&
            (played.ticks != recorded.ticks || played.score != recorded.score || played.value != recorded.value)) {
            outcome.difference = "line " + std::to_string(recorded.line) + ": recorded '" + formatEvent(recorded) +
                                 "', played '" + formatEvent(played) + "'";
        }
    };
    bool more = false;
    while (const Event* event = host.peek()) {
        const Event& e = *event;
        if (stopBefore && stopBefore(e)) {
            more = true;
            break;
        }
        host.next();
        switch (e.kind) {
            case Kind::Click: session.click(); break;
            case Kind::Move: session.mouseMove(e.button, e.shift, e.x, e.y); break;
            case Kind::Down: session.mouseDown(e.button, e.shift, e.x, e.y); break;
            case Kind::Up: session.mouseUp(e.button, e.shift, e.x, e.y); break;
            case Kind::Tick: session.tick(); break;
            case Kind::Value: host.foldRandom(e.value); break;
            case Kind::Checkpoint: compare(e); break;
            case Kind::End:
                compare(e);
                outcome.closed = true;
                break;
            case Kind::Seed:
            case Kind::Answer:
            case Kind::Cancel:
            case Kind::Table:
                throw ReplayHost::Mismatch("line " + std::to_string(e.line) + ": the demo holds '" +
                                           formatEvent(e).substr(0, 40) + "', which the game did not ask for");
        }
        if (stopAfterTick && e.kind == Kind::Tick) {
            more = true;
            break;
        }
    }
    outcome.ticks = session.ticksPlayed();
    outcome.score = session.score();
    outcome.checksum = session.checksum();
    outcome.roundScores = session.roundScores();
    return more;
}

}  // namespace bopatron::demo
