// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/verdict.h"

#include "scores/printscore.h"
#include "server/person_check.h"
#include "server/replay_state.h"
#include "server/text.h"
#include "server/verify.h"

#include <chrono>

namespace bopatron::server {

namespace {

using Kind = Judgement::Kind;

Judgement refused(const Refusal& r) {
    return {Kind::Refused, {0, r.code, r.message}, {}, "refused " + r.code + ": " + r.message, {}};
}

Judgement notPlaced(int score) {
    return {Kind::NotPlaced, {}, {}, "not placed: " + std::to_string(score) + " places on no board", {}};
}

// The record a verified round makes; held, with why, when no person plays so.
RecordRow recordOf(const Claim& claim, const RoundFacts& facts, std::int64_t endedMs) {
    RecordRow r;
    r.session = claim.session;
    r.round = claim.round;
    r.initials = utf8FromLatin1(facts.asked ? facts.initials : scores::kNoInitials);
    r.initialsFinal = facts.asked;
    r.score = facts.score;
    r.difficulty = facts.difficulty;
    r.atMs = endedMs;
    r.lines = facts.lines;
    r.reactions = playJson(facts).dump();
    for (const PersonReason& reason : personReasons(facts.reactions)) r.held += (r.held.empty() ? "" : "; ") + reason.text;
    return r;
}

}  // namespace

std::string Judgement::metric() const {
    switch (kind) {
        case Kind::Again: return "again";
        case Kind::Incomplete: return "incomplete";
        case Kind::Refused: return verdict.code;
        case Kind::NotPlaced: return "not-placed";
        case Kind::Placed: return "placed";
        case Kind::Held: return "held";
    }
    return "";
}

Judge::Judge(Store& store, const Replayer& replayer)
    : replay([&replayer](const std::string& text, int round, ReplayState& state) {
          return replayRound(text, round, replayer, state);
      }),
      store_(store) {}

bool Judge::placesNowhere(int score, std::int64_t atMs) {
    return store_.countAtLeast(0, score) >= kBoardSize && store_.countAtLeast(dayStartMs(atMs), score) >= kBoardSize;
}

Judgement Judge::claim(const Claim& claim, std::int64_t nowMs) {
    // A round decided once (the answer lost, or a claim sent again) gets the same verdict, without a replay.
    if (const auto given = store_.verdict(claim.session, claim.round))
        return {Kind::Again, *given, {}, "answered again from its verdict", {}};
    std::lock_guard one(sessionLocks_[std::hash<std::string>{}(claim.session) % sessionLocks_.size()]);
    Judgement j = judge(claim, nowMs, Mode::Claim);
    if (j.kind != Kind::Incomplete) store_.keepVerdict(claim.session, claim.round, j.verdict);
    return j;
}

Judgement Judge::place(const RecordRow& r) {
    auto id = store_.placeRecord(r);
    if (!id) {
        // Another server placed the same round meanwhile (a client that retried there): the
        // same round verified twice gets the one record's verdict.
        for (const RecordRow& placed : store_.recordsOf(r.session))
            if (placed.round == r.round) id = placed.id;
        if (!id) return refused({"again", "this round is on the boards already"});
    }
    const std::string as = "as record " + std::to_string(*id) + " with " + std::to_string(r.score);
    if (r.held.empty()) return {Kind::Placed, {*id, {}, {}}, {}, "placed " + as, {}};
    return {Kind::Held, {*id, {}, {}}, r.held, "held " + as + ": " + r.held, {}};
}

Judgement Judge::recheck(const RecordRow& record) {
    return judge({record.session, record.round, record.score}, 0, Mode::Recheck);
}

Judgement Judge::judge(const Claim& claim, std::int64_t nowMs, Mode mode) {
    const bool rechecking = mode == Mode::Recheck;
    // What needs no replay first: the round as the lines show it, the seed, its value, its pace.
    const SessionLog log = store_.log(claim.session);
    const auto scanned = scanLog(log, claim.round);
    if (!scanned) {
        const std::string why = "round " + std::to_string(claim.round) + " has not ended and closed in the lines sent";
        if (rechecking) return refused({"incomplete", why});
        return {Kind::Incomplete, {0, "incomplete", why}, {}, "refused incomplete: " + why, {}};
    }
    if (!rechecking) {
        if (const auto broken = checkLines(log, *scanned)) return refused(*broken);
        // A claim that would place on no board is not worth a replay.
        if (placesNowhere(claim.score, nowMs)) return notPlaced(claim.score);
    }

    // The session's replay goes on from where it stopped, unless it has passed the round
    // already; a record checked again is played from the first line.
    ReplayState state = rechecking ? ReplayState{} : parseReplayState(log.replay);
    const std::size_t known = state.rounds.size();
    const auto began = std::chrono::steady_clock::now();
    const RoundFacts facts = replay(log.text, claim.round, state);
    std::optional<Judgement::Replayed> replayed;
    if (state.ticksReplayed > 0 || state.rounds.size() > known)
        replayed = {std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(), state.ticksReplayed};
    if (!rechecking && state.rounds.size() > known)
        store_.keepReplay(claim.session, static_cast<int>(state.rounds.size()), formatReplayState(state));

    Judgement j = [&] {
        if (const auto broken = factsRule(facts, scanned->round)) return refused(*broken);
        if (facts.score != claim.score)
            return refused({"score", "played again, the round scores " + std::to_string(facts.score) + ", not the " +
                                         std::to_string(claim.score) + " claimed"});
        if (rechecking) return Judgement{Kind::Placed, {}, {}, "matches", {}};
        if (placesNowhere(facts.score, scanned->endedMs)) return notPlaced(facts.score);
        return place(recordOf(claim, facts, scanned->endedMs));
    }();
    j.replayed = replayed;
    return j;
}

}  // namespace bopatron::server
