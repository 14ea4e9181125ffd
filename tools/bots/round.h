// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// One round played by a bot, recorded as a demo: "New Game" at a difficulty,
// the table's value for the round, 1000 ticks with the bot's pointer between
// them, against a local table the round cannot enter (so that no box asks).

#include "demo/session.h"
#include "draw/surface.h"
#include "tools/bots/bots.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bopatron::bots {

struct RoundPlan {
    Kind kind = Kind::Person;
    std::uint64_t seed = 0;
    std::optional<std::uint64_t> value;
    int difficulty = 0;
    std::uint32_t botSeed = 0;
    // The round's later parts (2, 3, ...), each mixed in right before the first tick of its second.
    std::vector<std::uint64_t> parts;
    // Asked for part k (beyond those in parts) right before its second's first tick; may wait
    // for it. None: the round goes on without it.
    std::function<std::optional<std::uint64_t>(int k)> partOf;
};

// Hands a player's inputs to the session, in order.
void feed(demo::Session& session, const std::vector<Input>& inputs);

// The round's demo, each line as it is written to `line` (and all of it returned);
// `ticked` is told the score after each tick (counted from 1).
std::string playRound(const RoundPlan& plan, const std::string& program, const draw::Surfaces& pictures,
                      const std::function<void(const std::string&)>& line = {},
                      const std::function<void(long tick, std::int16_t score)>& ticked = {});

}  // namespace bopatron::bots
