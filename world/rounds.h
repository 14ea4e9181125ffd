// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The rounds of a session, read off its demo lines alone: "New Game" starts
// a round's count, its value (from a world table) comes before its first
// tick, its 1000th tick ends it, and the checkpoint after that tick closes
// it. The client batches and claims by it; the table times rounds by it
// before any replay (a replay then confirms it).

#include <cstdint>
#include <string_view>
#include <vector>

namespace bopatron::world {

// A round's randomness comes from a world table in parts, one a second of the round: its
// value is the first, and part k is mixed in right before the round's tick 50(k - 1) + 1.
inline constexpr int kRoundParts = 20;
inline constexpr int kTicksAPart = 50;

struct Round {
    int number = 0;            // ended rounds of the session, from 1
    long clickLine = -1;       // lines count the demo's first line as 0
    long valueLine = -1;       // -1: played without a value
    std::uint64_t value = 0;
    long firstTickLine = -1;
    long ticksBefore = 0;      // ticks the session played before its first
    long endLine = -1;         // its 1000th tick
    long closeLine = -1;       // its closing checkpoint; -1 until it comes
    std::vector<long> tickLines;  // its ticks, in order
};

class RoundTracker {
public:
    // What one line did to the rounds.
    enum class Step { Other, Click, Value, FirstTick, Tick, LastTick, Close };

    // The next line of the demo, without its line end.
    Step add(std::string_view line);

    long lines() const { return lines_; }
    // The rounds that ended (their 1000th tick came), closed or not.
    const std::vector<Round>& ended() const { return ended_; }
    // The round being played now: since the last "New Game", not ended.
    const Round* current() const { return running_ ? &current_ : nullptr; }

private:
    long lines_ = 0;
    long ticks_ = 0;
    bool running_ = false;
    Round current_;
    std::vector<Round> ended_;
};

}  // namespace bopatron::world
