// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// What a world-table client sends, whatever carries it: the demo's lines as
// the recorder writes them, in batches about once a second and at once after
// a round's first and last ticks (the server times the round from those), and
// with the batch that closes a round, the claim of the score the game placed.
// docs/WORLD.md describes the protocol.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace bopatron::demo {

class WorldStream {
public:
    struct Claim {
        int round = 0;
        int score = 0;
    };
    struct Batch {
        long from = 0;     // the number of the first line, counting the demo's first as 0
        std::string text;  // every line not yet taken by the server, each ending in LF
        long upTo = 0;     // from + the lines in text
        std::optional<Claim> claim;
    };

    // A line as the recorder wrote it, with its line end.
    void add(const std::string& line);
    // The game's high-score step ran with this score (the score it placed).
    void tableStep(int score) { tableScore_ = score; }

    // Something should go out at once: a round's first or last tick, or its close.
    bool urgent() const { return urgent_; }
    // Lines or a claim wait to be sent.
    bool waiting() const { return acked_ < static_cast<long>(lines_.size()) || !claims_.empty(); }
    // The next request: every line the server has not taken, with the first claim due.
    Batch next();
    // The server holds every line before upTo (its answer said so); the
    // batch's claim, if any, has its verdict.
    void taken(const Batch& batch, long serverLines);
    // The server expects this line next (a gap): send from there.
    void expect(long line);
    int roundsEnded() const { return ended_; }

private:
    std::vector<std::string> lines_;
    long acked_ = 0;
    bool urgent_ = false;
    long roundTicks_ = -1;  // ticks of the current round; -1 before the first
    bool closing_ = false;  // the round's last tick ran; its closing checkpoint is next
    int ended_ = 0;
    int tableScore_ = 0;
    std::deque<Claim> claims_;
};

}  // namespace bopatron::demo
