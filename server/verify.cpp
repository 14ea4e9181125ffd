// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/verify.h"

#include "demo/demo_file.h"
#include "demo/session.h"
#include "demo/snapshot.h"
#include "game/form1.h"
#include "scores/printscore.h"
#include "server/play_facts.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include <nlohmann/json.hpp>

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

RoundFacts failedWith(const Refusal& r) {
    RoundFacts facts;
    facts.failed = r;
    return facts;
}

std::string incomplete(int round) { return "round " + std::to_string(round) + " has not ended and closed in the lines sent"; }

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

std::optional<Refusal> replacedRule(const world::Round& round, const std::vector<IssuedValue>& issued,
                                    const std::vector<Batch>& batches, std::int64_t issuedMs) {
    std::int64_t firstTickMs = 0;  // when the table first held a tick of the round
    for (const Batch& b : batches)
        if (round.firstTickLine >= b.first && round.firstTickLine < b.first + b.count) firstTickMs = b.arrivedMs;
    for (const IssuedValue& v : issued)
        if (v.value != round.value && v.issuedMs >= issuedMs && v.issuedMs < firstTickMs)
            return refusal("value", "round " + std::to_string(round.number) +
                                        "'s value was replaced by a later one before any of its ticks arrived: a game asks "
                                        "one value a round, as it starts, and plays on the last it was given");
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

std::optional<Refusal> sessionPaceRule(const world::Round& round, std::int64_t createdMs, std::int64_t issuedMs) {
    const std::int64_t elapsed = issuedMs - createdMs;
    if (round.ticksBefore <= std::max<std::int64_t>(0, elapsed) / kTickMs + kAheadTicks) return std::nullopt;
    return refusal("too-fast", "the session ran ahead of the game's clock before round " + std::to_string(round.number) +
                                   ": " + std::to_string(round.ticksBefore) + " ticks had been played " + seconds(elapsed) +
                                   " s after it began, when 20 ms a tick makes " +
                                   std::to_string(std::max<std::int64_t>(0, elapsed / kTickMs)));
}

std::optional<Refusal> checkLines(const SessionLog& log, int round, world::Round& scanned, std::int64_t& endedMs) {
    const std::vector<world::Round> ended = roundsOf(log.text);
    if (round < 1 || round > static_cast<int>(ended.size()) || ended[round - 1].closeLine < 0)
        return refusal("incomplete", incomplete(round));
    scanned = ended[round - 1];
    if (auto broken = seedRule(log.text, log.seed)) return broken;
    std::int64_t issuedMs = 0;
    if (auto broken = valueRule(ended, scanned, log.values, issuedMs)) return broken;
    if (auto broken = replacedRule(scanned, log.values, log.batches, issuedMs)) return broken;
    if (auto broken = sessionPaceRule(scanned, log.createdMs, issuedMs)) return broken;
    if (auto broken = paceRule(scanned, log.batches, issuedMs)) return broken;
    for (const Batch& b : log.batches)
        if (scanned.endLine >= b.first && scanned.endLine < b.first + b.count) endedMs = b.arrivedMs;
    return std::nullopt;
}

// The summary's fields by their JSON names.
#define BOPATRON_SUMMARY_FIELDS(X)                                                                                  \
    X(whacks) X(reactions) X(medianMs) X(fastestMs) X(thirdQuartileMs) X(underFloor) X(spreadMs) X(presses)        \
    X(missed) X(fastestSecond) X(hammerIntervals) X(hammerSpreadMs) X(machineRhythm) X(lucky) X(luckyEarly)         \
    X(luckyEarlyByChance) X(luckyEarlyOdds) X(ratsShown) X(underPointer) X(underPointerByChance) X(underPointerOdds)

nlohmann::json reactionsJson(const ReactionSummary& r) {
    nlohmann::json j;
#define BOPATRON_TO_JSON(field) j[#field] = r.field;
    BOPATRON_SUMMARY_FIELDS(BOPATRON_TO_JSON)
#undef BOPATRON_TO_JSON
    return j;
}

ReactionSummary reactionsFrom(const nlohmann::json& j) {
    ReactionSummary r;
#define BOPATRON_FROM_JSON(field) r.field = j.value(#field, r.field);
    BOPATRON_SUMMARY_FIELDS(BOPATRON_FROM_JSON)
#undef BOPATRON_FROM_JSON
    // Kept before hammering was told apart: every whack was a reaction.
    if (!j.contains("reactions")) r.reactions = r.whacks;
    return r;
}

nlohmann::json playJson(const RoundFacts& f) {
    const long before = f.ticks - game::kRoundTicks;  // session ticks before the round's first
    nlohmann::json presses = nlohmann::json::array(), rats = nlohmann::json::array();
    for (const Press& p : f.presses) presses.push_back({p.tick - before, p.x, p.y, p.points});
    for (const RatShown& r : f.rats) rats.push_back({r.tick - before, r.row, r.col, r.x, r.y, r.underPointer, r.chance});
    return {{"summary", reactionsJson(f.reactions)}, {"presses", presses}, {"rats", rats}};
}

ReactionSummary summaryOfPlay(const nlohmann::json& j) { return reactionsFrom(j.contains("summary") ? j.at("summary") : j); }

namespace {

// A round's play back from playJson, into facts whose ticks are known.
void playFrom(const nlohmann::json& j, RoundFacts& f) {
    const long before = f.ticks - game::kRoundTicks;
    f.reactions = summaryOfPlay(j);
    for (const nlohmann::json& p : j.value("presses", nlohmann::json::array()))
        f.presses.push_back({p.at(0).get<long>() + before, p.at(1), p.at(2), p.at(3)});
    for (const nlohmann::json& r : j.value("rats", nlohmann::json::array()))
        f.rats.push_back({r.at(0).get<long>() + before, r.at(1), r.at(2), r.at(3), r.at(4), r.at(5), r.at(6)});
}

}  // namespace

std::string formatReplayState(const ReplayState& state) {
    nlohmann::json rounds = nlohmann::json::array();
    for (const RoundFacts& f : state.rounds) {
        nlohmann::json bytes = nlohmann::json::array();
        for (const char c : f.initials) bytes.push_back(static_cast<unsigned char>(c));
        rounds.push_back({{"failed", f.failed ? nlohmann::json{f.failed->code, f.failed->message} : nlohmann::json()},
                          {"score", f.score}, {"difficulty", f.difficulty}, {"asked", f.asked}, {"initials", bytes},
                          {"lines", f.lines}, {"ticks", f.ticks}, {"first", f.firstTickLine}, {"end", f.endLine},
                          {"play", playJson(f)}});
    }
    nlohmann::json pointer = nlohmann::json::array();
    for (const auto& [x, y] : state.pointer) pointer.push_back({x, y});
    const nlohmann::json j{{"replay", 1}, {"rounds", rounds}, {"lines", state.lines}, {"offset", state.offset},
                           {"core", state.core}, {"pointer", pointer}};
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

ReplayState parseReplayState(std::string_view text) {
    ReplayState state;
    const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    try {
        if (!j.is_object() || j.value("replay", 0) != 1) return {};
        for (const nlohmann::json& r : j.at("rounds")) {
            RoundFacts f;
            if (!r.at("failed").is_null()) f.failed = Refusal{r.at("failed").at(0), r.at("failed").at(1)};
            f.score = r.at("score");
            f.difficulty = r.at("difficulty");
            f.asked = r.at("asked");
            for (const int byte : r.at("initials")) f.initials += static_cast<char>(byte);
            f.lines = r.at("lines");
            f.ticks = r.at("ticks");
            f.firstTickLine = r.at("first");
            f.endLine = r.at("end");
            playFrom(r.contains("play") ? r.at("play") : r.at("reactions"), f);
            state.rounds.push_back(std::move(f));
        }
        for (const nlohmann::json& p : j.at("pointer")) state.pointer.emplace_back(p.at(0), p.at(1));
        state.lines = j.at("lines");
        state.offset = j.at("offset");
        state.core = j.at("core");
    } catch (const nlohmann::json::exception&) {
        return {};
    }
    return state;
}

RoundFacts replayRound(const std::string& text, int round, const Replayer& replayer) {
    ReplayState fresh;
    return replayRound(text, round, replayer, fresh);
}

RoundFacts replayRound(const std::string& text, int round, const Replayer& replayer, ReplayState& state) {
    state.ticksReplayed = 0;
    const int known = static_cast<int>(state.rounds.size());
    if (round < 1) return failedWith(refusal("incomplete", incomplete(round)));
    if (round <= known) return state.rounds[round - 1];
    // The game cannot go on past a round that parted ways with it.
    if (known > 0 && state.rounds.back().failed) return state.rounds.back();
    if (state.offset > text.size() || (known > 0) == state.core.empty()) state = {};

    // The lines from where the last replay stopped through the round's closing
    // checkpoint, as the lines alone show it; all of them when they do not show it yet.
    const std::string_view rest = std::string_view(text).substr(state.offset);
    std::size_t cut = std::string_view::npos;
    long cutLines = state.lines;
    {
        world::RoundTracker tracker;
        int closes = round - static_cast<int>(state.rounds.size());
        for (std::size_t at = 0, end; (end = rest.find('\n', at)) != std::string_view::npos; at = end + 1) {
            ++cutLines;
            if (tracker.add(rest.substr(at, end - at)) == world::RoundTracker::Step::Close && --closes == 0) {
                cut = end + 1;
                break;
            }
        }
    }
    // Only what the lines decide for good is kept: a round closed in them, and what came
    // before it. Lines that do not show the round closed yet decide nothing: the state
    // stays as it was, to go on from its own point when more lines have come.
    const bool whole = cut != std::string_view::npos;
    const auto fail = [&](const Refusal& r) {
        if (whole) state.rounds.push_back(failedWith(r));
        else state.rounds.resize(static_cast<std::size_t>(known));
        return failedWith(r);
    };

    const demo::Demo demo = state.core.empty() ? demo::parseDemo(rest.substr(0, cut))
                                               : demo::parseEvents(rest.substr(0, cut), static_cast<int>(state.lines) + 1);
    if (!demo.error.empty()) return fail(refusal("malformed", "the session's lines are not a demo this game plays: " + demo.error));
    draw::Surfaces& surfaces = replaySurfaces(replayer);
    VerifyHost host(demo, replayer.programFolder);
    game::Form1 form(host, surfaces);
    demo::Session session(form, surfaces);
    host.onCue = [&session](const std::string& path) { session.cueStarted(path); };
    if (!state.core.empty()) {
        form.state().spr = replayer.sprites;
        if (!demo::restore(state.core, host, session, form, surfaces)) {
            state = {};  // a state this server cannot use: play from the first line
            return replayRound(text, round, replayer, state);
        }
    }
    const long ticksBefore = session.ticksPlayed();
    // The facts of play: every event seen before it is played and after.
    PlayWatcher watcher(form.state());
    if (!state.core.empty() && !state.pointer.empty()) watcher.setPointer(state.pointer.back());

    long firstTickLine = -1;  // the current round's first tick, as a line of the demo
    long lastTopTick = -1;    // the session tick in which the "Top 5" box last asked
    std::string topAnswer;
    std::int16_t tableScore = 0;
    RoundFacts ending;        // the round whose last tick was played, until its checkpoint closes it
    bool awaitingClose = false, closing = false, missingCheckpoint = false;
    const Event* previous = nullptr;
    demo::Outcome outcome;
    host.onTable = [&] {
        if (form.state().ticks == game::kRoundTicks) tableScore = form.state().score;
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
        if (form.state().ticks != game::kRoundTicks) return;
        ending = {};
        ending.score = tableScore;
        ending.endLine = tick.line - 1;
        ending.firstTickLine = firstTickLine;
        ending.difficulty = form.state().difficulty;
        ending.ticks = session.ticksPlayed();
        ending.asked = lastTopTick == session.ticksPlayed() - 1;  // asked inside this very tick
        if (ending.asked) ending.initials = scores::keptInitials(topAnswer);
        RoundPlay play = watcher.take();
        ending.reactions = summarize(play);
        ending.presses = std::move(play.presses);
        ending.rats = std::move(play.rats);
        awaitingClose = true;
    };
    // A round's closing checkpoint was played and matched: the round is replayed.
    const auto closed = [&] {
        closing = false;
        if (!outcome.difference.empty()) return false;
        state.rounds.push_back(ending);
        return static_cast<int>(state.rounds.size()) < round;
    };
    const auto afterEvent = [&](const Event& e) {
        if (e.kind == Kind::Tick) {
            watcher.afterTick(session.ticksPlayed());
            afterTick(e);
        } else if (e.kind == Kind::Down) {
            watcher.afterPress(session.ticksPlayed());
        }
    };
    const auto beforeEvent = [&](const Event& e) {
        switch (e.kind) {
            case Kind::Click: watcher.newGame(); break;
            case Kind::Tick: watcher.beforeTick(); break;
            case Kind::Move: watcher.moved(e.x, e.y); break;
            case Kind::Down:
                watcher.moved(e.x, e.y);
                watcher.beforePress();
                break;
            default: break;
        }
    };
    const auto decide = [&](const Event& e) {
        if (closing && !closed()) return true;
        if (!outcome.difference.empty()) return true;
        if (!awaitingClose) return false;
        awaitingClose = false;
        if (e.kind != Kind::Checkpoint) {
            missingCheckpoint = true;
            return true;
        }
        closing = true;
        ending.lines = e.line;  // through this line, counting from 0
        return false;
    };
    const auto stopBefore = [&](const Event& e) {
        if (previous != nullptr) afterEvent(*previous);
        previous = &e;
        const bool stop = decide(e);
        if (!stop) beforeEvent(e);
        return stop;
    };
    try {
        if (state.core.empty()) session.load();
        if (demo::playEvents(host, session, outcome, false, stopBefore)) previous = nullptr;
        if (previous != nullptr) afterEvent(*previous);
        if (closing) closed();
    } catch (const OverBudget&) {
        state.ticksReplayed = session.ticksPlayed() - ticksBefore;
        return fail(refusal("budget", "the session holds more ticks than a replay is allowed (" +
                                          std::to_string(kReplayBudgetTicks) + ")"));
    } catch (const std::exception& error) {
        state.ticksReplayed = session.ticksPlayed() - ticksBefore;
        return fail(refusal("differs", std::string("the demo parts ways with the game: ") + error.what()));
    }
    state.ticksReplayed = session.ticksPlayed() - ticksBefore;
    if (!outcome.difference.empty())
        return fail(refusal("differs", "played again, the round does not give the frames it claims: " + outcome.difference));
    if (static_cast<int>(state.rounds.size()) < round) {
        if (missingCheckpoint || awaitingClose)
            return fail(refusal("incomplete", "the checkpoint that closes round " + std::to_string(round) + " has not arrived"));
        return fail(refusal("incomplete", "round " + std::to_string(round) + " has not ended in the lines sent"));
    }
    // The round closed where its lines close it: the next replay goes on from here.
    if (!whole || state.rounds.back().lines != cutLines) {
        state.rounds.pop_back();
        return fail(refusal("differs", "played again, round " + std::to_string(round) +
                                           " does not close where its lines close it"));
    }
    state.lines = cutLines;
    state.offset += cut;
    state.core = demo::snapshot(host, session, form, surfaces);
    state.pointer = {watcher.pointer()};
    return state.rounds.back();
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
