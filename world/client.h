// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A world table's client, apart from any network: everything a client
// decides. It says which request to send and when (the session, each
// round's value, the demo's lines in batches about once a second and at
// once after a round's first and last ticks and, in a round whose
// randomness comes in parts, each second's end; with the claim of a round's
// score in the batch that closes it, and the parts the round lacks), what
// each answer means (taken, sent again after how long, stopped and why) and
// how it reads to the player. A host only carries the requests and shows
// what it says. docs/WORLD.md describes the protocol.

#include "world/json.h"
#include "world/rounds.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace bopatron::world {

inline constexpr int kBatchMs = 1000;           // lines go out about once a second
inline constexpr int kSessionWaitMs = 2000;     // the session's seed is waited for this long at start-up
inline constexpr int kValueWaitMs = 2000;       // a round's first tick waits this long for its value
inline constexpr int kRequestMs = 10000;        // any other request is given up after this
inline constexpr int kMostBackoffMs = 15000;    // a failed batch is sent again after 1, 2, 4, 8, then every 15 s
inline constexpr int kClosingWaitMs = 3000;     // what is left is sent for this long when the game closes

// The world's own box for the initials of a round its board took and the game's own
// table did not: asked once, between rounds, three characters, as the game asks.
inline constexpr char kWorldInitialsPrompt[] = "Your round made the world's Top 5!!! Enter your initials.";
inline constexpr char kWorldInitialsTitle[] = "World Top 5";
inline constexpr int kWorldInitialsLength = 3;

// A request for the host to carry: method, a path under the table's /api/,
// the body and its type, and how long to wait for the answer.
struct Request {
    std::string method = "POST";
    std::string path;
    std::string body;
    std::string contentType = "text/plain";
    int timeoutMs = kRequestMs;
};

// The table's answer: its status and body; status 0 when none came.
struct Answer {
    int status = 0;
    std::string body;
};

// Something the player should be told, in the player's words.
struct Notice {
    enum class Kind {
        On,        // the table takes this session's rounds
        Off,       // it does not (any more): text says why
        Verdict,   // a round's verdict: text is "3rd today", "not in the top 5", "not placed: ...",
                   // "held for review: ..." (an operator decides)
        Unsent,    // a batch failed and will be sent again: text says when
        OffTable,  // a round plays on the game's own generator: its value did not come
    };
    Kind kind = Kind::On;
    int round = 0;          // Verdict, Unsent, OffTable: the round (its number in the session)
    std::string text;
    bool placed = false;    // Verdict: on a board
    long long record = 0;   // Verdict: the record placed
    // The notice as one line: "world table on", "round 2: 3rd today", ...
    std::string line() const;
};

// A round's value asked for: the ask's number, and the request to carry.
struct ValueAsk {
    int ask = 0;
    Request request;
};
// What the answer to an ask means.
struct RoundValue {
    bool stale = false;                  // "New Game" was pressed since: the answer belongs to no round
    std::optional<std::uint64_t> value;  // the value to record; none: the round plays off the table
};

// "3rd today, 1st of all time", "not in the top 5", "not placed: " and the table's reason,
// or "held for review: " and why the round waits for an operator.
std::string verdictText(const Json& answer);

class Client {
public:
    // Asking for a session at start-up; its seed replaces the clock's.
    static Request sessionRequest();
    // The seed, or nullopt (the client stays off, and says why).
    std::optional<std::uint64_t> sessionAnswered(const Answer& answer, const std::string& where);
    bool on() const { return !session_.empty() && !off_; }
    const std::string& session() const { return session_; }

    // A line as the recorder wrote it, with its line end.
    void add(const std::string& line);
    // The game's high-score step ran with this score (the one it placed).
    void tableStep(int score) { tableScore_ = score; }

    // "New Game" was pressed: a value still on its way belongs to the round it abandons.
    void newGame() { waitingAsk_ = 0; }
    // The round just started asks for its value (nullopt when the table takes no rounds);
    // its first tick waits for the answer, at most kValueWaitMs. An answer that does not
    // come in time leaves that round alone off the table: the next round asks again.
    std::optional<ValueAsk> askValue();
    RoundValue valueAnswered(int ask, const Answer& answer);
    // Whether the round's next tick may run: not while its value is on its way.
    bool tickMayRun() const { return waitingAsk_ == 0; }
    // Right before each tick of the game: the part of the round's randomness to record
    // and mix in before it (once), if its second begins with this tick. A part that has
    // not come by then never stops the game: the round plays on, off the table, on the
    // game's own generator, and says so; the next round asks again.
    std::optional<std::uint64_t> partBeforeTick();

    // A record placed on a world board whose initials the game's own box did not take,
    // to be asked once (kWorldInitialsPrompt), between rounds; each is given once.
    std::optional<long long> initialsToAsk();
    Request initialsRequest(long long record, const std::string& typed) const;
    // What the answer to it means to the player: "" when the initials were kept.
    static std::string initialsAnswered(const Answer& answer);

    // The batch to send now, if one is due at nowMs (never two at once).
    std::optional<Request> due(std::int64_t nowMs);
    // Whether a batch should go out at once (a round's first or last tick, its close).
    bool urgent() const { return urgent_; }
    // The answer to the batch due() gave.
    void answered(const Answer& answer, std::int64_t nowMs);
    bool inFlight() const { return inFlight_; }
    // Lines or a claim wait to be sent.
    bool waiting() const { return acked_ < static_cast<long>(lines_.size()) || !claims_.empty(); }
    int roundsEnded() const { return static_cast<int>(rounds_.ended().size()); }

    // What the player should be told since the last call, in order.
    std::vector<Notice> takeNotices();

private:
    struct Claim {
        int round = 0;
        int score = 0;
    };
    struct Sending {
        long from = 0, upTo = 0;
        std::optional<Claim> claim;
    };
    void notify(Notice notice) { notices_.push_back(std::move(notice)); }
    void stop(const std::string& why);

    std::string session_;
    bool off_ = false;
    std::vector<std::string> lines_;
    RoundTracker rounds_;
    long acked_ = 0;
    bool urgent_ = false;
    int tableScore_ = 0;
    std::deque<Claim> claims_;
    bool inFlight_ = false;
    Sending sending_;
    std::int64_t lastSentMs_ = -1;
    std::int64_t retryAtMs_ = 0;
    int backoffMs_ = kBatchMs;
    std::vector<Notice> notices_;
    int asks_ = 0, waitingAsk_ = 0;
    // The round in play: its value (as its line was written) and the parts held of it
    // (index k - 1; part 1 is the value). Parts are asked only of a table that gave the
    // second and third with the value.
    struct InPlay {
        std::optional<std::uint64_t> value;
        std::vector<std::optional<std::uint64_t>> parts = std::vector<std::optional<std::uint64_t>>(kRoundParts);
        int mixed = 1;   // the last part given to the game
        bool offered = false;
    };
    InPlay inPlay_;
    std::optional<std::uint64_t> askedParts_[2];  // parts 2 and 3, as the ask's answer gave them
    std::vector<int> offTable_;  // rounds that left the table: they are not claimed
    long roundTicks() const;  // the round in play's ticks written so far
    int firstPartLacking() const;
    void takeParts(const Json& parts);
    std::string previousLine_;
    std::vector<int> typedInGame_;      // rounds whose initials the game's own "Top 5" box asked
    std::deque<long long> toAsk_;       // records whose initials the world's box asks
};

}  // namespace bopatron::world
