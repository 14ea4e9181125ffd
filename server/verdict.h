// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The verdict on a claimed round, decided in one place from what the table
// holds of the session: a round decided before keeps its verdict; then the
// rules on the lines and their times, whether the claim could place at all
// (a replay is not worth it otherwise), the replay and the rules on its
// facts, the score, and the person check. The protocol turns the judgement
// into its answer; `bopatron-server check` asks the same of every record.

#include "server/replay.h"
#include "server/store.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace bopatron::server {

struct Claim {
    std::string session;
    int round = 0;
    int score = 0;
};

// What a claim came to.
struct Judgement {
    enum class Kind {
        Again,       // decided before: the verdict kept then, without a replay
        Incomplete,  // the lines do not show the round ended and closed yet: nothing is decided
        Refused,     // a rule was broken: verdict.code and verdict.message say which and why
        NotPlaced,   // a true round whose score places on no board
        Placed,      // verdict.record is on the boards (or, rechecked, still matches)
        Held,        // verdict.record waits off the boards for an operator, for the reasons in held
    };
    Kind kind = Kind::Incomplete;
    StoredVerdict verdict;  // as kept; for Incomplete, why in message alone
    std::string held;       // Held: the reasons, in the player's words
    std::string said;       // the verdict in the log's words
    // The replay it took, when it played a tick or passed a round.
    struct Replayed {
        double seconds = 0;
        long ticks = 0;
    };
    std::optional<Replayed> replayed;
    // The name metrics count it by.
    std::string metric() const;
};

class Judge {
public:
    // Plays a session's lines on from where its state stopped through a round.
    using Replay = std::function<RoundFacts(const std::string& text, int round, ReplayState& state)>;
    Judge(Store& store, const Replayer& replayer);

    // A claim, at nowMs on the table's clock: answered from the verdict kept on its
    // round, or decided now by every rule in order and kept (an incomplete round is
    // not decided, and is judged again when more lines come).
    Judgement claim(const Claim& claim, std::int64_t nowMs);
    // A placed record's round played again from the session's first line: Placed
    // while it still matches, Refused with why when it does not. Its time was judged
    // when it was placed and is not again; nothing is kept.
    Judgement recheck(const RecordRow& record);

    // The core's replay, unless a test says otherwise.
    Replay replay;

private:
    enum class Mode { Claim, Recheck };
    Judgement judge(const Claim& claim, std::int64_t nowMs, Mode mode);
    // Places a verified round's record (the one already placed, when another server was first).
    Judgement place(const RecordRow& record);
    // Whether a score reached at atMs would place on neither board.
    bool placesNowhere(int score, std::int64_t atMs);

    Store& store_;
    // Claims of one session are decided one at a time, so that the second goes on
    // from where the first one's replay stopped; sessions share these by their id.
    std::array<std::mutex, 64> sessionLocks_;
};

}  // namespace bopatron::server
