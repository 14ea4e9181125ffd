// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Verification of one round of a session. The rules that need only the lines
// and their times come first and cost nothing: the seed and the round's value
// are the ones this table issued, and the round was streamed at the pace it
// is played, from the moment its value was issued. Then the round is played
// again from the session's first line by the game's own core, which gives
// the facts of the round (its score at the table step, its lines, whether
// every checkpoint matched), and small rules check those facts.

#include "draw/pictures.h"
#include "draw/sprite_table.h"
#include "server/play_facts.h"

#include <nlohmann/json.hpp>
#include "draw/surface.h"
#include "world/rounds.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bopatron::server {

inline constexpr std::int64_t kTickMs = game::kTickMs;
// At the arrival of each batch of a round, the ticks the table holds of it
// are compared with the time since its value was issued, on the table's
// clock. They may be at most kAheadTicks (half a second) ahead of what 20 ms a
// tick makes in that time, and at most kBehindMs behind it. A stream
// delayed by up to a second in all (the value's way to the client and the
// batch's way back) is within both; a game paused or held back for 3 s, or
// 10 % slow by the round's end, is behind; a game 5 % fast is ahead by its
// middle. Together they place the batch with the 1000th tick between 19.5 s
// and 21.5 s after the value was issued.
inline constexpr long kAheadTicks = 25;
inline constexpr std::int64_t kBehindMs = 1500;
// A replay stops here: 110 rounds' worth of ticks, more than 100 rounds need.
inline constexpr long kReplayBudgetTicks = 110000;

// One batch of lines as it arrived: lines first .. first + count - 1,
// counting the first line of the demo as 0.
struct Batch {
    long first = 0;
    long count = 0;
    std::int64_t arrivedMs = 0;  // the server's clock, milliseconds since 1970
};

// A round's value as the table issued it.
struct IssuedValue {
    std::uint64_t value = 0;
    std::int64_t issuedMs = 0;
};

struct SessionLog {
    std::uint64_t seed = 0;       // the seed the server issued
    std::int64_t createdMs = 0;   // when it issued it
    std::string text;             // every line received, each ending in LF
    std::vector<Batch> batches;   // in order of their first line
    std::vector<IssuedValue> values;
    std::string replay;           // where its replay stopped (formatReplayState); "" before any
};

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

struct Verdict {
    bool placed() const { return !refusal; }
    std::optional<Refusal> refusal;
    RoundFacts facts;            // when it verifies
    std::int64_t endedMs = 0;    // when the round's last tick arrived
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

// Where a session's replay stopped, kept with the session so that the next
// claim, on any server, goes on from there and no line is played twice: the
// facts of every round played so far, and the core's state after the last of
// them closed. A round that failed is the last: the game cannot go on past it.
struct ReplayState {
    std::vector<RoundFacts> rounds;  // rounds 1, 2, ... in order
    long lines = 0;                  // lines played through the last round's closing checkpoint
    std::size_t offset = 0;          // where the next line begins in the session's text
    std::string core;                // the core's snapshot there; "" before any round
    std::vector<std::pair<float, float>> pointer;  // the pointer there (the last of those kept)
    long ticksReplayed = 0;          // ticks the last call played (not kept)
};
std::string formatReplayState(const ReplayState& state);
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
// A text that is not a state kept by this server (or none) is a replay not yet begun.
ReplayState parseReplayState(std::string_view text);

// The game's own pictures, from its program folder.
Replayer loadReplayer(const std::string& programFolder, const draw::PictureDecoder& decode);

// The round-th round to end (1 for the first) as the lines alone show it,
// or nullopt when it has not ended and closed in them.
std::optional<world::Round> scanRound(const std::string& text, int round);

// The rules that need no replay, in order; the first broken one refuses.
std::optional<Refusal> seedRule(const std::string& text, std::uint64_t issued);
// The round's value was issued to this session and used by no earlier round of
// those ended (in order); gives when it was issued.
std::optional<Refusal> valueRule(const std::vector<world::Round>& ended, const world::Round& round,
                                 const std::vector<IssuedValue>& issued, std::int64_t& issuedMs);
// Asking a value ends every earlier one of the session on which the table holds no tick
// yet: a round played on a value asked again before its first tick arrived is refused.
std::optional<Refusal> replacedRule(const world::Round& round, const std::vector<IssuedValue>& issued,
                                    const std::vector<Batch>& batches, std::int64_t issuedMs);
std::optional<Refusal> paceRule(const world::Round& round, const std::vector<Batch>& batches, std::int64_t issuedMs);
// The session's rounds before this one were played no faster than the game's
// clock either: they hold at most the ticks the time from the session's start
// to this round's value makes, and kAheadTicks more. So no claim makes a
// replay play more ticks than the session's own time holds.
std::optional<Refusal> sessionPaceRule(const world::Round& round, std::int64_t createdMs, std::int64_t issuedMs);
// Every cheap rule over a round; on success, the round as its lines show it and
// when its last tick arrived.
std::optional<Refusal> checkLines(const SessionLog& log, int round, world::Round& scanned, std::int64_t& endedMs);

// The facts of the session's round-th round: kept in the state when the
// replay has passed it, or found by playing on from where the state stopped
// (every round it passes is added to the state).
RoundFacts replayRound(const std::string& text, int round, const Replayer& replayer, ReplayState& state);
// The same from the session's first line.
RoundFacts replayRound(const std::string& text, int round, const Replayer& replayer);
// The facts vouch for the round the lines showed.
std::optional<Refusal> factsRule(const RoundFacts& facts, const world::Round& scanned);

// Every rule, cheap ones first.
Verdict verifyRound(const SessionLog& log, int round, const Replayer& replayer);

}  // namespace bopatron::server
