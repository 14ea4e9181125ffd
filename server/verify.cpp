// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/verify.h"

#include "demo/demo_file.h"
#include "demo/session.h"
#include "game/form1.h"
#include "scores/printscore.h"

#include <algorithm>
#include <cstdio>

namespace bopatron::server {

namespace {

using demo::Event;
using Kind = Event::Kind;

Verdict refused(std::string code, std::string message) {
    Verdict v;
    v.code = std::move(code);
    v.message = std::move(message);
    return v;
}

std::string seconds(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(ms) / 1000.0);
    return text;
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

// The batch that holds a line, or null.
const Batch* batchOf(const SessionLog& log, long line) {
    for (const Batch& b : log.batches)
        if (line >= b.first && line < b.first + b.count) return &b;
    return nullptr;
}

// Ticks never arrived faster than the clock could have made them: at the
// arrival of each batch up to the one holding line last, the ticks received
// so far are at most the time since the session began over 20 ms.
std::string tooFast(const SessionLog& log, long last) {
    long ticks = 0, line = 0;
    std::size_t at = 0;
    for (const Batch& b : log.batches) {
        if (b.first > last) break;
        for (; line < b.first + b.count && at < log.text.size(); ++line) {
            const std::size_t end = log.text.find('\n', at);
            if (log.text.compare(at, end - at, "tick") == 0) ++ticks;
            at = end + 1;
        }
        const std::int64_t elapsed = b.arrivedMs - log.createdMs;
        if (ticks > elapsed / kTickMs + kTickSlack) {
            return std::to_string(ticks) + " ticks had arrived " + seconds(elapsed) +
                   " s after the session began, more than its clock makes in that time";
        }
    }
    return {};
}

}  // namespace

Replayer loadReplayer(const std::string& programFolder, const draw::PictureDecoder& decode) {
    Replayer replayer;
    replayer.programFolder = programFolder;
    const demo::Demo none;
    demo::ReplayHost quiet(none, programFolder);  // a missing picture shows in every verdict instead
    draw::loadPictures(replayer.pictures, quiet, programFolder, decode);
    return replayer;
}

Verdict verifyRound(const SessionLog& log, int round, const Replayer& replayer) {
    const demo::Demo demo = demo::parseDemo(log.text);
    if (!demo.error.empty()) return refused("malformed", "the session's lines are not a demo this game plays: " + demo.error);
    if (demo.events.front().value != log.seed)
        return refused("seed", "the demo's seed is not the one this server issued for the session");

    draw::Surfaces surfaces = replayer.pictures;
    VerifyHost host(demo, replayer.programFolder);
    game::Form1 form(host, surfaces);
    demo::Session session(form, surfaces);
    host.onCue = [&session](const std::string& path) { session.cueStarted(path); };

    Verdict v;
    int ended = 0;            // rounds ended so far
    long firstTickLine = -1;  // the current round's first tick, as a line of the demo
    long endLine = -1;        // round's last tick
    bool closing = false;     // the round's closing checkpoint has been taken
    long lastTopTick = -1;    // the session tick in which the "Top 5" box last asked
    std::string topAnswer;
    const Event* previous = nullptr;
    host.onTable = [&] {
        if (form.state().ticks == game::kRoundTicks && ended == round - 1 && endLine < 0) v.score = form.state().score;
    };
    host.showBox = [&](const std::string&, const std::optional<std::string>& title, const std::string& answer, bool) {
        if (title && *title == scores::kTopTitle) {
            lastTopTick = session.ticksPlayed();
            topAnswer = answer;
        }
    };
    // What the tick just played means for the rounds; run after each tick.
    const auto afterTick = [&](const Event& tick) {
        if (session.ticksPlayed() > kReplayBudgetTicks) throw OverBudget{};
        if (form.state().ticks == 1) firstTickLine = tick.line - 1;
        if (form.state().ticks != game::kRoundTicks || ++ended != round) return;
        endLine = tick.line - 1;
        v.difficulty = form.state().difficulty;
        v.ticks = session.ticksPlayed();
        v.asked = lastTopTick == session.ticksPlayed() - 1;  // asked inside this very tick
        if (v.asked) v.initials = scores::keptInitials(topAnswer);
    };
    bool missingCheckpoint = false;
    const auto stopBefore = [&](const Event& e) {
        if (previous != nullptr && previous->kind == Kind::Tick) afterTick(*previous);
        previous = &e;
        if (endLine < 0) return false;
        if (closing) return true;
        if (e.kind != Kind::Checkpoint) {
            missingCheckpoint = true;
            return true;
        }
        closing = true;
        v.lines = e.line;  // through this line, counting from 0
        return false;
    };
    demo::Outcome outcome;
    try {
        session.load();
        demo::playEvents(host, session, outcome, false, stopBefore);
        if (endLine < 0 && previous != nullptr && previous->kind == Kind::Tick) afterTick(*previous);
    } catch (const OverBudget&) {
        return refused("budget", "the session holds more ticks than a replay is allowed (" +
                                     std::to_string(kReplayBudgetTicks) + ")");
    } catch (const std::exception& error) {
        return refused("differs", std::string("the demo parts ways with the game: ") + error.what());
    }
    if (!outcome.difference.empty())
        return refused("differs", "played again, the round does not give the frames it claims: " + outcome.difference);
    if (endLine < 0) return refused("incomplete", "round " + std::to_string(round) + " has not ended in the lines sent");
    if (missingCheckpoint || !closing)
        return refused("incomplete", "the checkpoint that closes round " + std::to_string(round) + " has not arrived");

    const Batch* first = batchOf(log, firstTickLine);
    const Batch* last = batchOf(log, endLine);
    if (first == nullptr || last == nullptr) return refused("incomplete", "the round's ticks are not all in the lines sent");
    if (std::string fast = tooFast(log, endLine); !fast.empty()) return refused("too-fast", fast);
    const std::int64_t span = last->arrivedMs - first->arrivedMs;
    if (span < kRoundLeastMs || span > kRoundMostMs) {
        return refused(span < kRoundLeastMs ? "round-too-fast" : "round-too-slow",
                       "the round took " + seconds(span) + " s of real time for its 20 s of play (19 to 22 s are allowed)");
    }
    v.endedMs = last->arrivedMs;
    return v;
}

}  // namespace bopatron::server
