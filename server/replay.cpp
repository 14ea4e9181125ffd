// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/replay.h"

#include "demo/demo_file.h"
#include "demo/session.h"
#include "demo/wired_game.h"
#include "demo/snapshot.h"
#include "game/form1.h"
#include "scores/printscore.h"

#include <atomic>
#include <functional>

namespace bopatron::server {

namespace {

using demo::Event;
using Kind = Event::Kind;

// The surfaces a replay draws on: one set a thread, copied from the pictures
// once. Only the back buffer is drawn on (and a replay no one watches presents
// nothing), so each replay starts again from the pictures' back buffer alone.
draw::Surfaces& replaySurfaces(const Replayer& replayer) {
    thread_local std::uint64_t madeFrom = 0;
    thread_local draw::Surfaces surfaces;
    if (madeFrom != replayer.id || replayer.id == 0) {
        surfaces = replayer.pictures;
        surfaces.setUnwatched();
        madeFrom = replayer.id;
    } else {
        surfaces.Picbuf = replayer.pictures.Picbuf;
        surfaces.Picbuf.trackDamage();
    }
    return surfaces;
}

// The replay host, which also says when the game reads the table.
class VerifyHost : public demo::ReplayHost {
public:
    using ReplayHost::ReplayHost;
    std::function<void()> onTable;
    runtime::FileText readTable(const std::string& path, std::size_t limit) override {
        if (onTable) onTable();
        return ReplayHost::readTable(path, limit);
    }
};

struct OverBudget {};

RoundFacts failedWith(std::string code, std::string message) {
    RoundFacts facts;
    facts.failed = Refusal{std::move(code), std::move(message)};
    return facts;
}

// The lines from where the last replay stopped through the closing checkpoint
// of the closes-th round to close after it, as the lines alone show it; all of
// them when they do not show it yet.
struct RoundLines {
    std::string_view text;
    bool whole = false;  // the round's closing checkpoint is among them
    long through = 0;    // the session's lines through the last of them
};
RoundLines linesThrough(std::string_view rest, int closes, long linesBefore) {
    world::RoundTracker tracker;
    RoundLines found{rest, false, linesBefore};
    for (std::size_t at = 0, end; (end = rest.find('\n', at)) != std::string_view::npos; at = end + 1) {
        ++found.through;
        if (tracker.add(rest.substr(at, end - at)) == world::RoundTracker::Step::Close && --closes == 0) {
            found.text = rest.substr(0, end + 1);
            found.whole = true;
            break;
        }
    }
    return found;
}

// Watches a replay event by event: the facts of each round it plays, added to
// the state as each round's closing checkpoint matches, until the round asked for.
class RoundWatcher {
public:
    RoundWatcher(VerifyHost& host, demo::Session& session, game::Form1& form, ReplayState& state, int round)
        : session_(session), form_(form), state_(state), round_(round), play_(form.state()) {
        host.onTable = [this] {
            if (form_.state().ticks == game::kRoundTicks) tableScore_ = form_.state().score;
        };
        host.showBox = [this](const std::string&, const std::optional<std::string>& title, const std::string& answer, bool) {
            if (title && *title == scores::kTopTitle) {
                lastTopTick_ = session_.ticksPlayed();
                topAnswer_ = answer;
            }
        };
        if (!state.core.empty() && !state.pointer.empty()) play_.setPointer(state.pointer.back());
    }
    // The playing's stopBefore: true ends it before e.
    bool stopBefore(const Event& e) {
        if (previous_ != nullptr) afterEvent(*previous_);
        previous_ = &e;
        const bool stop = decide(e);
        if (!stop) beforeEvent(e);
        return stop;
    }
    // After the playing: played is what playEvents returned.
    void finish(bool played) {
        if (played) previous_ = nullptr;
        if (previous_ != nullptr) afterEvent(*previous_);
        if (closing_) closed();
    }
    // Why the round asked for is not among the state's rounds yet.
    std::string missing() const {
        if (missingCheckpoint_ || awaitingClose_)
            return "the checkpoint that closes round " + std::to_string(round_) + " has not arrived";
        return "round " + std::to_string(round_) + " has not ended in the lines sent";
    }
    std::pair<float, float> pointer() const { return play_.pointer(); }
    demo::Outcome outcome;

private:
    // What the tick just played means for the rounds.
    void afterTick(const Event& tick) {
        if (session_.ticksPlayed() > kReplayBudgetTicks) throw OverBudget{};
        const game::GameState& game = form_.state();
        if (game.ticks == 1) firstTickLine_ = tick.line - 1;
        if (game.ticks != game::kRoundTicks) return;
        ending_ = {};
        ending_.score = tableScore_;
        ending_.endLine = tick.line - 1;
        ending_.firstTickLine = firstTickLine_;
        ending_.difficulty = game.difficulty;
        ending_.ticks = session_.ticksPlayed();
        ending_.asked = lastTopTick_ == session_.ticksPlayed() - 1;  // asked inside this very tick
        if (ending_.asked) ending_.initials = scores::keptInitials(topAnswer_);
        RoundPlay play = play_.take();
        ending_.reactions = summarize(play);
        ending_.presses = std::move(play.presses);
        ending_.rats = std::move(play.rats);
        awaitingClose_ = true;
    }
    // A round's closing checkpoint was played and matched: the round is replayed.
    // False when the replay is to stop.
    bool closed() {
        closing_ = false;
        if (!outcome.difference.empty()) return false;
        state_.rounds.push_back(ending_);
        return static_cast<int>(state_.rounds.size()) < round_;
    }
    void afterEvent(const Event& e) {
        if (e.kind == Kind::Tick) {
            play_.afterTick(session_.ticksPlayed());
            afterTick(e);
        } else if (e.kind == Kind::Down) {
            play_.afterPress(session_.ticksPlayed());
        }
    }
    void beforeEvent(const Event& e) {
        switch (e.kind) {
            case Kind::Click: play_.newGame(); break;
            case Kind::Tick: play_.beforeTick(); break;
            case Kind::Move: play_.moved(e.x, e.y); break;
            case Kind::Down:
                play_.moved(e.x, e.y);
                play_.beforePress();
                break;
            default: break;
        }
    }
    // Whether the replay stops before e: a round closed that was the last asked
    // for, a difference, or a round's last tick not followed by its checkpoint.
    bool decide(const Event& e) {
        if (closing_ && !closed()) return true;
        if (!outcome.difference.empty()) return true;
        if (!awaitingClose_) return false;
        awaitingClose_ = false;
        if (e.kind != Kind::Checkpoint) {
            missingCheckpoint_ = true;
            return true;
        }
        closing_ = true;
        ending_.lines = e.line;  // through this line, counting from 0
        return false;
    }

    demo::Session& session_;
    game::Form1& form_;
    ReplayState& state_;
    const int round_;
    PlayWatcher play_;
    long firstTickLine_ = -1;  // the current round's first tick, as a line of the demo
    long lastTopTick_ = -1;    // the session tick in which the "Top 5" box last asked
    std::string topAnswer_;
    std::int16_t tableScore_ = 0;
    RoundFacts ending_;  // the round whose last tick was played, until its checkpoint closes it
    bool awaitingClose_ = false, closing_ = false, missingCheckpoint_ = false;
    const Event* previous_ = nullptr;
};

}  // namespace

Replayer loadReplayer(const std::string& programFolder, const draw::PictureDecoder& decode) {
    static std::atomic<std::uint64_t> made{0};
    Replayer replayer;
    replayer.id = ++made;
    replayer.programFolder = programFolder;
    const demo::Demo none;
    demo::ReplayHost quiet(none, programFolder);  // a missing picture shows in every verdict instead
    draw::loadPictures(replayer.pictures, quiet, programFolder, decode);
    draw::loadSpriteTable(runtime::programPath(programFolder, draw::kSpriteFile), replayer.sprites);
    return replayer;
}

std::vector<world::Round> roundsOf(const std::string& text) {
    world::RoundTracker tracker;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        tracker.add(std::string_view(text).substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return tracker.ended();
}

std::optional<world::Round> scanRound(const std::string& text, int round) {
    const std::vector<world::Round> rounds = roundsOf(text);
    if (round < 1 || round > static_cast<int>(rounds.size()) || rounds[round - 1].closeLine < 0) return std::nullopt;
    return rounds[round - 1];
}

RoundFacts replayRound(const std::string& text, int round, const Replayer& replayer) {
    ReplayState fresh;
    return replayRound(text, round, replayer, fresh);
}

RoundFacts replayRound(const std::string& text, int round, const Replayer& replayer, ReplayState& state) {
    state.ticksReplayed = 0;
    const int known = static_cast<int>(state.rounds.size());
    if (round < 1) return failedWith("incomplete", "round " + std::to_string(round) + " has not ended and closed in the lines sent");
    if (round <= known) return state.rounds[round - 1];
    // The game cannot go on past a round that parted ways with it.
    if (known > 0 && state.rounds.back().failed) return state.rounds.back();
    if (state.offset > text.size() || (known > 0) == state.core.empty()) state = {};

    const RoundLines lines = linesThrough(std::string_view(text).substr(state.offset), round - known, state.lines);
    // Only what the lines decide for good is kept: a round closed in them, and what came
    // before it. Lines that do not show the round closed yet decide nothing: the state
    // stays as it was, to go on from its own point when more lines have come.
    const auto fail = [&](std::string code, std::string message) {
        RoundFacts failed = failedWith(std::move(code), std::move(message));
        if (lines.whole) state.rounds.push_back(failed);
        else state.rounds.resize(static_cast<std::size_t>(known));
        return failed;
    };
    const demo::Demo demo = state.core.empty() ? demo::parseDemo(lines.text)
                                               : demo::parseEvents(lines.text, static_cast<int>(state.lines) + 1);
    if (!demo.error.empty()) return fail("malformed", "the session's lines are not a demo this game plays: " + demo.error);

    draw::Surfaces& surfaces = replaySurfaces(replayer);
    VerifyHost host(demo, replayer.programFolder);
    demo::WiredGame game(host, surfaces);
    game::Form1& form = game.form;
    demo::Session& session = game.session;
    if (!state.core.empty()) {
        form.state().spr = replayer.sprites;
        if (!demo::restore(state.core, host, session, form, surfaces)) {
            state = {};  // a state this server cannot use: play from the first line
            return replayRound(text, round, replayer, state);
        }
    }
    const long ticksBefore = session.ticksPlayed();
    RoundWatcher watcher(host, session, form, state, round);
    try {
        if (state.core.empty()) session.load();
        watcher.finish(demo::playEvents(host, session, watcher.outcome, false,
                                        [&watcher](const Event& e) { return watcher.stopBefore(e); }));
    } catch (const OverBudget&) {
        state.ticksReplayed = session.ticksPlayed() - ticksBefore;
        return fail("budget", "the session holds more ticks than a replay is allowed (" + std::to_string(kReplayBudgetTicks) + ")");
    } catch (const std::exception& error) {
        state.ticksReplayed = session.ticksPlayed() - ticksBefore;
        return fail("differs", std::string("the demo parts ways with the game: ") + error.what());
    }
    state.ticksReplayed = session.ticksPlayed() - ticksBefore;
    if (!watcher.outcome.difference.empty())
        return fail("differs", "played again, the round does not give the frames it claims: " + watcher.outcome.difference);
    if (static_cast<int>(state.rounds.size()) < round) return fail("incomplete", watcher.missing());
    // The round closed where its lines close it: the next replay goes on from here.
    if (!lines.whole || state.rounds.back().lines != lines.through) {
        state.rounds.pop_back();
        return fail("differs", "played again, round " + std::to_string(round) + " does not close where its lines close it");
    }
    state.lines = lines.through;
    state.offset += lines.text.size();
    state.core = demo::snapshot(host, session, form, surfaces);
    state.pointer = {watcher.pointer()};
    return state.rounds.back();
}

}  // namespace bopatron::server
