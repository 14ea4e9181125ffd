// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A replay's state and a round's play as text: what a store keeps of where a
// session's replay stopped, and what a record publishes of how it was played.

#include "server/replay.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace bopatron::server {

std::string formatReplayState(const ReplayState& state);
// A text that is not a state kept by this server (or none) is a replay not yet begun.
ReplayState parseReplayState(std::string_view text);

// A round's summary of its play as JSON (docs/WORLD.md names each field).
nlohmann::json reactionsJson(const ReactionSummary& reactions);
// And back: a field missing (a record kept by an earlier version) keeps its
// default, which breaks no rule; throws nlohmann::json::exception for JSON that is not one.
ReactionSummary reactionsFrom(const nlohmann::json& json);
// A round's play as a record keeps it: {"summary", "presses": [[tick, x, y, points]...],
// "rats": [[tick, row, col, x, y, under the pointer, chance]...]}, ticks counted in the round.
nlohmann::json playJson(const RoundFacts& facts);
// The summary of a play kept so, or of a record that kept only its summary.
ReactionSummary summaryOfPlay(const nlohmann::json& json);

}  // namespace bopatron::server
