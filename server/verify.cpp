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

Refusal refusal(std::string code, std::string message) { return {std::move(code), std::move(message)}; }

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

// Every round that ended in the lines, in order.
std::vector<world::Round> roundsOf(const std::string& text) {
    world::RoundTracker tracker;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        tracker.add(std::string_view(text).substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return tracker.ended();
}

std::string incomplete(int round) { return "round " + std::to_string(round) + " has not ended and closed in the lines sent"; }

}  // namespace

Replayer loadReplayer(const std::string& programFolder, const draw::PictureDecoder& decode) {
    Replayer replayer;
    replayer.programFolder = programFolder;
    const demo::Demo none;
    demo::ReplayHost quiet(none, programFolder);  // a missing picture shows in every verdict instead
    draw::loadPictures(replayer.pictures, quiet, programFolder, decode);
    return replayer;
}

std::optional<world::Round> scanRound(const std::string& text, int round) {
    const std::vector<world::Round> rounds = roundsOf(text);
    if (round < 1 || round > static_cast<int>(rounds.size()) || rounds[round - 1].closeLine < 0) return std::nullopt;
    return rounds[round - 1];
}

std::optional<Refusal> seedRule(const std::string& text, std::uint64_t issued) {
    const std::size_t first = text.find('\n');
    const std::size_t second = first == std::string::npos ? first : text.find('\n', first + 1);
    if (second == std::string::npos || text.compare(first + 1, second - first - 1, "seed " + std::to_string(issued)) != 0)
        return refusal("seed", "the demo's seed is not the one this table issued for the session");
    return std::nullopt;
}

std::optional<Refusal> valueRule(const std::vector<world::Round>& ended, const world::Round& round,
                                 const std::vector<IssuedValue>& issued, std::int64_t& issuedMs) {
    if (round.valueLine < 0)
        return refusal("no-value", "round " + std::to_string(round.number) +
                                       " was played without a value from the table, so its rats could be known in advance");
    const auto found = std::find_if(issued.begin(), issued.end(), [&](const IssuedValue& v) { return v.value == round.value; });
    if (found == issued.end())
        return refusal("value", "round " + std::to_string(round.number) + "'s value is not one this table issued for the session");
    for (const world::Round& earlier : ended) {
        if (earlier.number >= round.number) break;
        if (earlier.valueLine >= 0 && earlier.value == round.value)
            return refusal("value", "round " + std::to_string(round.number) + "'s value was used by round " +
                                        std::to_string(earlier.number) + " already");
    }
    issuedMs = found->issuedMs;
    return std::nullopt;
}

std::optional<Refusal> paceRule(const world::Round& round, const std::vector<Batch>& batches, std::int64_t issuedMs) {
    for (const Batch& b : batches) {
        if (b.first > round.endLine) break;
        const long upTo = b.first + b.count;
        if (upTo <= round.valueLine) continue;  // nothing of the round yet
        const std::int64_t elapsed = b.arrivedMs - issuedMs;
        const long ticks = static_cast<long>(
            std::lower_bound(round.tickLines.begin(), round.tickLines.end(), upTo) - round.tickLines.begin());
        const std::string when = std::to_string(ticks) + " of its ticks had arrived " + seconds(elapsed) +
                                 " s after the table issued its value";
        if (elapsed < 0 || ticks > elapsed / kTickMs + kAheadTicks)
            return refusal("too-fast", "the round ran ahead of the game's clock: " + when + ", when 20 ms a tick makes " +
                                           std::to_string(std::max<std::int64_t>(0, elapsed / kTickMs)));
        const std::int64_t behind = elapsed - ticks * kTickMs;
        if (behind > kBehindMs)
            return refusal("too-slow", "the round came " + seconds(behind) + " s behind the game's clock (" +
                                           seconds(kBehindMs) + " s are allowed): " + when +
                                           "; a round is sent as it is played, and a game slowed or paused is not placed");
    }
    return std::nullopt;
}

std::optional<Refusal> checkLines(const SessionLog& log, int round, world::Round& scanned, std::int64_t& endedMs) {
    const std::vector<world::Round> ended = roundsOf(log.text);
    if (round < 1 || round > static_cast<int>(ended.size()) || ended[round - 1].closeLine < 0)
        return refusal("incomplete", incomplete(round));
    scanned = ended[round - 1];
    if (auto broken = seedRule(log.text, log.seed)) return broken;
    std::int64_t issuedMs = 0;
    if (auto broken = valueRule(ended, scanned, log.values, issuedMs)) return broken;
    if (auto broken = paceRule(scanned, log.batches, issuedMs)) return broken;
    for (const Batch& b : log.batches)
        if (scanned.endLine >= b.first && scanned.endLine < b.first + b.count) endedMs = b.arrivedMs;
    return std::nullopt;
}

RoundFacts replayRound(const std::string& text, int round, const Replayer& replayer) {
    RoundFacts facts;
    const demo::Demo demo = demo::parseDemo(text);
    if (!demo.error.empty()) {
        facts.failed = refusal("malformed", "the session's lines are not a demo this game plays: " + demo.error);
        return facts;
    }
    draw::Surfaces surfaces = replayer.pictures;
    VerifyHost host(demo, replayer.programFolder);
    game::Form1 form(host, surfaces);
    demo::Session session(form, surfaces);
    host.onCue = [&session](const std::string& path) { session.cueStarted(path); };

    int ended = 0;            // rounds ended so far
    long firstTickLine = -1;  // the current round's first tick, as a line of the demo
    bool closing = false;     // the round's closing checkpoint has been taken
    long lastTopTick = -1;    // the session tick in which the "Top 5" box last asked
    std::string topAnswer;
    const Event* previous = nullptr;
    host.onTable = [&] {
        if (form.state().ticks == game::kRoundTicks && ended == round - 1 && facts.endLine < 0) facts.score = form.state().score;
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
        facts.endLine = tick.line - 1;
        facts.firstTickLine = firstTickLine;
        facts.difficulty = form.state().difficulty;
        facts.ticks = session.ticksPlayed();
        facts.asked = lastTopTick == session.ticksPlayed() - 1;  // asked inside this very tick
        if (facts.asked) facts.initials = scores::keptInitials(topAnswer);
    };
    bool missingCheckpoint = false;
    const auto stopBefore = [&](const Event& e) {
        if (previous != nullptr && previous->kind == Kind::Tick) afterTick(*previous);
        previous = &e;
        if (facts.endLine < 0) return false;
        if (closing) return true;
        if (e.kind != Kind::Checkpoint) {
            missingCheckpoint = true;
            return true;
        }
        closing = true;
        facts.lines = e.line;  // through this line, counting from 0
        return false;
    };
    demo::Outcome outcome;
    try {
        session.load();
        demo::playEvents(host, session, outcome, false, stopBefore);
        if (facts.endLine < 0 && previous != nullptr && previous->kind == Kind::Tick) afterTick(*previous);
    } catch (const OverBudget&) {
        facts.failed = refusal("budget", "the session holds more ticks than a replay is allowed (" +
                                             std::to_string(kReplayBudgetTicks) + ")");
        return facts;
    } catch (const std::exception& error) {
        facts.failed = refusal("differs", std::string("the demo parts ways with the game: ") + error.what());
        return facts;
    }
    if (!outcome.difference.empty())
        facts.failed = refusal("differs", "played again, the round does not give the frames it claims: " + outcome.difference);
    else if (facts.endLine < 0)
        facts.failed = refusal("incomplete", "round " + std::to_string(round) + " has not ended in the lines sent");
    else if (missingCheckpoint || !closing)
        facts.failed = refusal("incomplete", "the checkpoint that closes round " + std::to_string(round) + " has not arrived");
    return facts;
}

std::optional<Refusal> factsRule(const RoundFacts& facts, const world::Round& scanned) {
    if (facts.failed) return facts.failed;
    // The lines were timed by where they show the round: the game must agree.
    if (facts.firstTickLine != scanned.firstTickLine || facts.endLine != scanned.endLine || facts.lines != scanned.closeLine + 1)
        return refusal("differs", "played again, round " + std::to_string(scanned.number) +
                                      " does not start and end where its lines show it");
    return std::nullopt;
}

Verdict verifyRound(const SessionLog& log, int round, const Replayer& replayer) {
    Verdict v;
    world::Round scanned;
    if ((v.refusal = checkLines(log, round, scanned, v.endedMs))) return v;
    v.facts = replayRound(log.text, round, replayer);
    v.refusal = factsRule(v.facts, scanned);
    return v;
}

}  // namespace bopatron::server
