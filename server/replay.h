// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A session's round played again by the game's own core, from the session's
// first line or from where its last replay stopped: the facts of the round
// (its score at the table step, its lines, how it was played, whether every
// checkpoint matched), which the rules of verification judge.

#include "draw/pictures.h"
#include "draw/sprite_table.h"
#include "draw/surface.h"
#include "server/play_facts.h"
#include "world/rounds.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bopatron::server {

// A replay stops here: 110 rounds' worth of ticks, more than 100 rounds need.
inline constexpr long kReplayBudgetTicks = 110000;

// A refusal: its code and a sentence for the player.
struct Refusal {
    std::string code;
    std::string message;
};

// What replaying a round found.
struct RoundFacts {
    std::optional<Refusal> failed;  // the replay could not vouch for the round: why
    std::int16_t score = 0;         // at the round's table step
    std::int16_t difficulty = 0;
    bool asked = false;             // the game's own "Top 5" box asked for initials
    std::string initials;           // what the table keeps of that answer (Latin-1)
    long lines = 0;                 // the demo's lines through the round's closing checkpoint
    long ticks = 0;                 // ticks played in the session through the round
    long firstTickLine = -1;        // where the replay found the round's first and last ticks
    long endLine = -1;
    ReactionSummary reactions;      // how it was played: a summary of what follows
    std::vector<Press> presses;     // every press of the round
    std::vector<RatShown> rats;     // every rat that came up in it
};

// The pictures a replay draws with (a copy is made for each verification),
// the program folder it reads the sprite table from, and the table as read
// (for a replay that goes on where another stopped).
struct Replayer {
    draw::Surfaces pictures;
    std::string programFolder;
    draw::SpriteTable sprites;
    std::uint64_t id = 0;  // one for each loadReplayer: a thread's surfaces are made from it once
};
// The game's own pictures, from its program folder.
Replayer loadReplayer(const std::string& programFolder, const draw::PictureDecoder& decode);

// Where a session's replay stopped, kept with the session so that the next
// claim, on any server, goes on from there and no line is played twice: the
// facts of every round played so far, and the core's state after the last of
// them closed. A round that failed is the last: the game cannot go on past it.
// Kept as text (replay_state.h).
struct ReplayState {
    std::vector<RoundFacts> rounds;  // rounds 1, 2, ... in order
    long lines = 0;                  // lines played through the last round's closing checkpoint
    std::size_t offset = 0;          // where the next line begins in the session's text
    std::string core;                // the core's snapshot there; "" before any round
    std::vector<std::pair<float, float>> pointer;  // the pointer there (the last of those kept)
    long ticksReplayed = 0;          // ticks the last call played (not kept)
};

// Every round that ended in the lines, in order.
std::vector<world::Round> roundsOf(const std::string& text);
// The round-th round to end (1 for the first) as the lines alone show it,
// or nullopt when it has not ended and closed in them.
std::optional<world::Round> scanRound(const std::string& text, int round);

// The facts of the session's round-th round: kept in the state when the
// replay has passed it, or found by playing on from where the state stopped
// (every round it passes is added to the state).
RoundFacts replayRound(const std::string& text, int round, const Replayer& replayer, ReplayState& state);
// The same from the session's first line.
RoundFacts replayRound(const std::string& text, int round, const Replayer& replayer);

}  // namespace bopatron::server
