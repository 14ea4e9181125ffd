// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/replay_state.h"

#include "game/form1.h"

namespace bopatron::server {

// The summary's fields by their JSON names.
#define BOPATRON_SUMMARY_FIELDS(X)                                                                                  \
    X(whacks) X(reactions) X(medianMs) X(fastestMs) X(thirdQuartileMs) X(underFloor) X(spreadMs) X(presses)        \
    X(missed) X(fastestSecond) X(hammerIntervals) X(hammerSpreadMs) X(machineRhythm) X(lucky) X(luckyEarly)         \
    X(luckyEarlyByChance) X(luckyEarlyOdds) X(ratsShown) X(underPointer) X(underPointerByChance) X(underPointerOdds) \
    X(reaches) X(underReachFloor) X(reachSlope) X(reachSlopeError) X(reachOdds)

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

}  // namespace bopatron::server
