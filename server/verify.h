// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The rules of verification, each small and alone. Those that need only the
// lines and their times cost nothing: the seed and the round's value are the
// ones this table issued, and the round was streamed at the pace it is
// played, from the moment its value was issued. The facts a replay finds
// (replay.h) must agree with where the lines show the round. The verdict
// (verdict.h) applies them in their order.

#include "game/form1.h"
#include "server/replay.h"
#include "server/session_log.h"
#include "world/rounds.h"

#include <cstdint>
#include <optional>
#include <string>
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

// The rules that need no replay, in order; the first broken one refuses.
std::optional<Refusal> seedRule(const std::string& text, std::uint64_t issued);
// The round's value was issued to this session and used by no earlier round of
// those ended (in order); gives when it was issued.
std::optional<Refusal> valueRule(const std::vector<world::Round>& ended, const world::Round& round,
                                 const std::vector<IssuedValue>& issued, std::int64_t& issuedMs);
// Every value line through the round is the table's, in its place: an
// attempt's value once, after its "New Game" and before its first tick; part
// k of that round's once, right before the attempt's tick 50(k - 1) + 1, in a
// batch that came after the one that brought its tick 50(k - 3) (after which
// the table gives it). Any other value line would let a client choose its own
// randomness. A round may leave parts out.
std::optional<Refusal> valuesRule(const SessionLog& log, const world::Round& round);
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

// A round the lines show ended and closed, the rounds that ended in them, and
// when its last tick arrived.
struct ScannedRound {
    world::Round round;
    std::vector<world::Round> ended;
    std::int64_t endedMs = 0;
};
// The round as the lines show it, or nullopt when it has not ended and closed in them.
std::optional<ScannedRound> scanLog(const SessionLog& log, int round);
// Every rule over the lines and their times, in order; the first broken one refuses.
std::optional<Refusal> checkLines(const SessionLog& log, const ScannedRound& scanned);
// The facts vouch for the round the lines showed.
std::optional<Refusal> factsRule(const RoundFacts& facts, const world::Round& scanned);

}  // namespace bopatron::server
