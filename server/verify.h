// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Verification of one round of a session: a pure function of the session's
// lines, the times their batches arrived on the server's clock and the seed
// the server issued. The round is played again from the session's first line
// by the game's own core; every checkpoint must match, the score is the one
// the replay gives at the round's table step, and the round must have taken
// the real time a round takes.

#include "draw/pictures.h"
#include "draw/surface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bopatron::server {

inline constexpr std::int64_t kTickMs = 20;
// A round's 1000 ticks span 19.98 s between its first and its last. Measured
// from the arrival of the batch holding the first tick to that of the batch
// holding the last (both sent at once), a round must take 19 to 22 s: 19 allows
// a second of network delay on the first batch alone, 22 a clock 5 % slow and a
// second more on the last. Anything faster is a game sped up; slower, a game
// slowed down or paused.
inline constexpr std::int64_t kRoundLeastMs = 19000;
inline constexpr std::int64_t kRoundMostMs = 22000;
// Ticks may never have arrived faster than the clock makes them since the
// session began, give or take half a second of them.
inline constexpr long kTickSlack = 25;
// A replay stops here: 110 rounds' worth of ticks, more than 100 rounds need.
inline constexpr long kReplayBudgetTicks = 110000;

// One batch of lines as it arrived: lines first .. first + count - 1,
// counting the first line of the demo as 0.
struct Batch {
    long first = 0;
    long count = 0;
    std::int64_t arrivedMs = 0;  // the server's clock, milliseconds since 1970
};

struct SessionLog {
    std::uint64_t seed = 0;       // the seed the server issued
    std::int64_t createdMs = 0;   // when it issued it
    std::string text;             // every line received, each ending in LF
    std::vector<Batch> batches;   // in order of their first line
};

struct Verdict {
    bool placed() const { return code.empty(); }
    std::string code;     // empty when the round verifies; otherwise why not
    std::string message;  // a sentence for the player
    // When it verifies:
    std::int16_t score = 0;       // at the round's table step
    std::int16_t difficulty = 0;
    bool asked = false;           // the game's own "Top 5" box asked for initials
    std::string initials;         // what the table keeps of that answer (Latin-1)
    long lines = 0;               // the demo's lines through the round's closing checkpoint
    std::int64_t endedMs = 0;     // when the round's last tick arrived
    long ticks = 0;               // ticks played in the session through the round
};

// The pictures a replay draws with (a copy is made for each verification)
// and the program folder it reads the sprite table from.
struct Replayer {
    draw::Surfaces pictures;
    std::string programFolder;
};

// The game's own pictures, from its program folder.
Replayer loadReplayer(const std::string& programFolder, const draw::PictureDecoder& decode);

// Verifies the round-th round of the session to end (1 for the first).
Verdict verifyRound(const SessionLog& log, int round, const Replayer& replayer);

}  // namespace bopatron::server
