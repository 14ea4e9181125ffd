// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The verdict on a claimed round, as the protocol and `check` ask it: rounds
// of the golden demos and of edited copies, streamed at every pace a client
// might, held by a store as the table holds them; and the rules on the lines'
// times at their edges.
#include "server/verdict.h"
#include "server/parts.h"
#include "server/verify.h"
#include "tests/world_fixture.h"

#include <gtest/gtest.h>

namespace bopatron::server {
namespace {

using namespace testing_world;

// The scores the rounds of value-rounds.dem place at their table step.
int scoreOf(int round) { return round == 1 ? 1044 : 135; }

// A table that holds one session as a log says: its seed and start, its values,
// and its batches of lines as they arrived (those from line `upTo` on held back).
class Table {
public:
    explicit Table(const SessionLog& log, long upTo = -1) : log_(log) {
        store_.createSession({kId, log.seed, log.createdMs, log.createdMs, 0, 0});
        for (const IssuedValue& v : log.values) store_.issueValue(kId, v, 1000);
        send(0, upTo < 0 ? log.text.size() : upTo);
    }
    // The batches held back arrive.
    void rest() { send(sent_, static_cast<long>(lines_.size())); }
    Judgement claim(int round, std::optional<int> score = {}) {
        return judge_.claim({kId, round, score.value_or(scoreOf(round))}, kStart);
    }
    Store& store() { return store_; }
    Judge& judge() { return judge_; }

private:
    void send(long from, std::size_t upTo) {
        for (const Batch& b : log_.batches) {
            if (b.first < from || b.first >= static_cast<long>(upTo)) continue;
            const std::vector<std::string_view> lines(lines_.begin() + b.first, lines_.begin() + b.first + b.count);
            store_.appendLines(kId, b.first, lines, b.arrivedMs, 8 << 20);
            sent_ = b.first + b.count;
        }
    }
    static inline const std::string kId = std::string(32, 'a');
    SessionLog log_;
    std::vector<std::string> text_ = linesOf(log_.text);
    std::vector<std::string_view> lines_{text_.begin(), text_.end()};
    long sent_ = 0;
    SqliteStore store_{":memory:"};
    Judge judge_{store_, replayer()};
};

// A judgement as the refusal code a player is told; "" when no rule refused.
std::string codeOf(const Judgement& j) {
    if (j.kind == Judgement::Kind::Incomplete || j.kind == Judgement::Kind::Refused) return j.verdict.code;
    return "";
}

TEST(Verdict, RoundsOnTheTablesValuesAndEditedCopies) {
    const std::string values = golden(kValues), two = golden("two-rounds.dem");
    struct Case {
        const char* what;
        std::string text;
        int round;
        std::string code;
        Pace pace = {};
        std::uint64_t seed = 0;  // 0: the demo's own
        std::vector<IssuedValue> issued = {};  // empty: as the stream issued them; at most two
        std::int64_t began = 0;  // when set, the session began this long before the round's value
    };
    const Case cases[] = {
        {"round 1", values, 1, ""},
        {"round 2, not placed locally", values, 2, ""},
        {"a round that has not been played", values, 3, "incomplete"},
        {"a round whose closing checkpoint has not arrived", replaced(values, "checkpoint 1400 1044 2d69354175046360\n", ""), 1, "incomplete"},
        {"a seed the server did not issue", values, 1, "seed", {}, 20261209},
        {"a value the server did not issue", values, 1, "value", {}, 0, {{1311768467463790321u, kStart}}},
        {"a round played without a value", two, 1, "no-value"},
        {"a round whose value is another's", replaced(values, "value 3735928559", "value 1311768467463790320"), 2, "value"},
        {"an edited checksum", replaced(values, "checkpoint 1400 1044 2d69354175046360", "checkpoint 1400 1044 2d69354175046361"), 1, "differs"},
        {"an edited score", replaced(values, "checkpoint 1400 1044 ", "checkpoint 1400 1144 "), 1, "differs"},
        {"an edited value: other rats", replaced(values, "value 1311768467463790320", "value 1311768467463790321"), 1, "differs",
         {}, 0, {{11400714819323198485u, kStart}, {1311768467463790321u, kStart}}},
        {"a line that is no event", replaced(values, "tick\ntick\n", "tick\ntock\n"), 1, "malformed"},
        // Round 2 follows 1400 ticks: 27.5 s of play with half a second ahead allowed.
        {"earlier rounds as fast as the clock allows", values, 2, "", {}, 0, {}, 27500},
        {"earlier rounds ahead of the clock", values, 2, "too-fast", {}, 0, {}, 27480},
    };
    for (const Case& c : cases) {
        const Stream stream = honestStream(c.text, c.pace);
        SessionLog log = logOf(c.text, c.seed ? c.seed : seedOf(c.text), stream);
        if (!c.issued.empty()) {
            // Issued when the stream's were, the last when round 1's was.
            log.values = c.issued;
            for (std::size_t i = 0; i < log.values.size(); ++i) log.values[i].issuedMs = stream.values.at(i + 2 - log.values.size()).issuedMs;
        }
        for (const IssuedValue& v : log.values)
            if (c.began && v.value == scanRound(c.text, c.round)->value) log.createdMs = v.issuedMs - c.began;
        const Judgement j = Table(log).claim(c.round);
        EXPECT_EQ(codeOf(j), c.code) << c.what << ": " << j.verdict.message;
        if (!codeOf(j).empty()) EXPECT_FALSE(j.verdict.message.empty()) << c.what;
    }
}

// Every value line is the table's, in its place: an attempt's value once, after its "New
// Game"; part k of its round right before the attempt's tick 50(k - 1) + 1, in a batch after
// the one that brought its tick 50(k - 3). Round 1 of value-rounds.dem with the secret of
// 64 'a's: its parts are HMAC-SHA256 of "bopatron round part K" (worked out with openssl dgst).
TEST(Verification, EveryValueLineIsTheTablesInItsPlace) {
    const std::string values = golden(kValues);
    const std::string p2 = "value 1738849062034294126";
    const std::vector<long> ticks = scanRound(values, 1)->tickLines;
    // The line put before round 1's tick, in the text given (lines counted as in the golden demo).
    const auto before = [&](long tick, const std::string& line, std::string text) {
        std::size_t at = 0;
        for (long l = 0; l < ticks[tick - 1]; ++l) at = text.find('\n', at) + 1;
        return text.insert(at, line + "\n");
    };
    struct Case {
        const char* what;
        std::string text;
        std::string refused;  // "" when the rule holds
        bool secret = true;   // the round's value has the secret (false: issued before rounds had parts)
        double msPerTick = 20;
    };
    // Every part in its place but those in `left`, the parts from the rule's own HMAC (pinned above).
    const auto parts = [&](std::vector<int> left) {
        std::string text = values;
        for (int k = 20; k >= 2; --k)
            if (std::find(left.begin(), left.end(), k) == left.end())
                text = before(50 * (k - 1) + 1, "value " + std::to_string(roundPart(std::string(64, 'a'), k)), text);
        return text;
    };
    const Case cases[] = {
        {"every part in its place", parts({}), ""},
        {"parts 2 and 4 in their places, 3 left out", parts({3}), "round 1's part 3 is missing: the round went on without the table's randomness for its ticks 101 to 150"},
        {"the last part left out", parts({20}), "round 1's part 20 is missing"},
        {"no part of a round with no secret", values, "", false},
        {"part 2 a tick late", before(52, p2, parts({2})), "round 1's part 2 is missing"},
        {"part 2 a tick early", before(50, p2, parts({2})), "round 1 holds a value line (line 503) where none of the table's belongs"},
        {"part 2 not the table's", before(51, "value 5", parts({2})), "round 1's part 2 is not the table's"},
        {"part 2 where part 3 belongs", before(101, p2, parts({3})), "round 1's part 3 is not the table's"},
        {"the value twice", before(1, "value 1311768467463790320", values), "round 1 holds a value line (line 454)"},
        {"a part of a round with no secret", before(51, p2, values), "round 1 holds a value line (line 504)", false},
        {"part 4 in the batch that brought tick 50", parts({}), "round 1's part 4 came before the table gave it", true, 0.5},
    };
    for (const Case& c : cases) {
        Pace pace;
        pace.msPerTick = c.msPerTick;
        SessionLog log = logOf(c.text, seedOf(c.text), honestStream(c.text, pace));
        for (IssuedValue& v : log.values)
            if (v.value == 1311768467463790320u && c.secret) v.secret = std::string(64, 'a');
        const auto broken = valuesRule(log, *scanRound(c.text, 1));
        EXPECT_EQ(broken ? broken->message.substr(0, c.refused.size()) : "", c.refused) << c.what;
        if (broken) {
            EXPECT_EQ(broken->code, "value") << c.what;
        }
    }
}

// Asking a value ends the session's earlier ones on which the table holds no tick yet:
// a round on lines 10 to 1009, its value 5 issued at 1000 ms, its lines arriving at 2000 ms.
TEST(Verification, AValueAskedAgainBeforeItsRoundsFirstTickArrivedEndsIt) {
    world::Round round;
    round.number = 1;
    round.value = 5;
    round.firstTickLine = 10;
    const std::vector<Batch> batches = {{0, 5, 500}, {5, 1010, 2000}};
    const struct {
        const char* what;
        std::int64_t otherIssuedMs;  // -1: no other value
        bool refused;
    } cases[] = {
        {"no other value", -1, false},
        {"another asked in the same millisecond", 1000, true},
        {"another asked before its first tick arrived", 1999, true},
        {"another asked as its first tick arrived", 2000, false},
        {"another asked before it", 999, false},
    };
    for (const auto& c : cases) {
        std::vector<IssuedValue> issued = {{5, 1000}};
        if (c.otherIssuedMs >= 0) issued.push_back({6, c.otherIssuedMs});
        const auto broken = replacedRule(round, issued, batches, 1000);
        EXPECT_EQ(broken ? broken->code : "", c.refused ? "value" : "") << c.what;
    }
}

// A round streamed at every pace a client might: placed only when it was sent
// as it was played, from the moment its value was issued.
TEST(Verdict, RoundsArePacedFromTheirValueAtEveryBatch) {
    const std::string values = golden(kValues);
    struct Case {
        const char* what;
        Pace pace;
        std::string code;
    };
    const Case cases[] = {
        {"delayed by 1 s as a whole", {20, 1000}, ""},
        // (A round with parts cannot even be played so: the table gives no part 4 before its tick 50.)
        {"its first tick at once, the rest held back 20 s", {20, 300, -1, 0, 1, 20000}, "too-slow"},
        {"a game 5 % slow, within what is allowed", {21}, ""},
        {"paused for 3 s at tick 500", {20, 300, 500, 3000}, "too-slow"},
        {"a game 5 % fast", {19}, "too-fast"},
        {"a game 2 % fast", {19.6}, ""},
    };
    for (const Case& c : cases) {
        for (const int round : {1, 2}) {
            const Judgement j = Table(logOf(values, seedOf(values), honestStream(values, c.pace))).claim(round);
            EXPECT_EQ(codeOf(j), c.code) << c.what << ", round " << round << ": " << j.verdict.message;
        }
    }
}

// Each bound of the pace at its edge, one unit either side: a round of 1000
// ticks on lines 10, 11, ..., its value issued at 0, and one batch that
// holds its first n ticks arriving at t.
TEST(Verification, PaceBoundsHoldToTheTickAndTheMillisecond) {
    world::Round round;
    round.number = 1;
    round.valueLine = 9;
    for (long t = 0; t < 1000; ++t) round.tickLines.push_back(10 + t);
    round.firstTickLine = 10;
    round.endLine = 1009;
    const auto code = [&](long ticks, std::int64_t at) {
        const auto refused = paceRule(round, {{0, 10 + ticks, at}}, 0);
        return refused ? refused->code : std::string();
    };
    struct Case {
        long ticks;
        std::int64_t at;
        std::string code;
    };
    const Case cases[] = {
        {525, 10000, ""},          {526, 10000, "too-fast"},  // half a second ahead, and one tick more
        {500, 11500, ""},          {500, 11501, "too-slow"},  // a second and a half behind, and one ms more
        {1000, 19500, ""},         {1000, 19499, "too-fast"},  // the last tick's batch: from 19.5 s ...
        {1000, 21500, ""},         {1000, 21501, "too-slow"},  // ... to 21.5 s after the value
        {0, 1500, ""},             {0, 1501, "too-slow"},     // the value taken, no tick played
        {1, -1, "too-fast"},                                    // a tick before its value was issued
    };
    for (const Case& c : cases) EXPECT_EQ(code(c.ticks, c.at), c.code) << c.ticks << " ticks at " << c.at << " ms";
    // Batches before the value and after the round are not its own.
    EXPECT_FALSE(paceRule(round, {{0, 5, 999999}, {10, 1000, 20000}, {1010, 5, 999999}}, 0));
}

// A claim that came before its round's closing lines decides nothing: claimed again
// once they have come, the round is judged (here held: a bot played it).
TEST(Verdict, AClaimBeforeItsRoundClosedDecidesNothing) {
    const std::string values = golden(kValues);
    const SessionLog log = logOf(values, seedOf(values), honestStream(values));
    const auto lines = linesOf(values);
    const long close = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("checkpoint 1400 ", 0) == 0; }) -
                       lines.begin();
    const Batch closing = *std::find_if(log.batches.begin(), log.batches.end(),
                                        [&](const Batch& b) { return b.first <= close && close < b.first + b.count; });
    Table table(log, closing.first);
    EXPECT_EQ(table.claim(1).kind, Judgement::Kind::Incomplete);
    table.rest();
    EXPECT_EQ(table.claim(1).kind, Judgement::Kind::Held);
    EXPECT_EQ(table.claim(1).kind, Judgement::Kind::Again);
}

// check plays a record's round again from its session's first line: a record that no
// longer scores what it was placed with no longer matches.
TEST(Verdict, ARecheckPlaysTheRecordAgainFromTheFirstLine) {
    const std::string values = golden(kValues);
    Table table(logOf(values, seedOf(values), honestStream(values)));
    const Judgement held = table.claim(1);
    ASSERT_EQ(held.kind, Judgement::Kind::Held);
    RecordRow r = *table.store().record(held.verdict.record);
    EXPECT_EQ(table.judge().recheck(r).kind, Judgement::Kind::Placed);
    r.score += 20;
    EXPECT_EQ(table.judge().recheck(r).verdict.code, "score");
}

}  // namespace
}  // namespace bopatron::server
