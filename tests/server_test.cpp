// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The world table: rounds of the golden demos and of edited copies verified
// as an honest client would have streamed them, and the protocol over a
// database in memory with a clock of the test's own. Every expected score,
// initials and line is read off the demo files, never worked out here.
#include "demo/demo_file.h"
#include "demo/snapshot.h"
#include "image/png_decoder.h"
#include "runtime/files.h"
#include "server/api.h"
#include "server/postgres_store.h"
#include "server/sqlite_store.h"
#include "server/person_check.h"
#include "server/verify.h"
#include "tools/bots/round.h"
#include "world/client.h"
#include "world/rounds.h"
#include "tests/fixture.h"

#include <libpq-fe.h>
#include <sqlite3.h>
#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <latch>
#include <memory>
#include <regex>
#include <sstream>
#include <tuple>

#include <unistd.h>

namespace bopatron::server {
namespace {

using nlohmann::json;

constexpr std::int64_t kStart = 1796713200000;  // 2026-12-08T07:00:00Z, when each session begins
constexpr int kClaimed = 7;  // what the streamed client claims; ApiTest sends each test's own claims

std::string golden(const std::string& name) {
    return runtime::readFile(std::string(BOPATRON_DEMOS_DIR) + "/" + name, demo::kMostBytes).text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// How a client's stream reaches the table. The value of a round is issued
// when the client asks (half a second after "New Game", the box answered);
// tick k of the round is played k * msPerTick after that, and its batch
// arrives delay later (the value's way to the client and the batch's way
// back). pauseAt: the game stops pauseMs after that tick; holdAfter: the
// batches of later ticks are held back holdMs.
struct Pace {
    double msPerTick = 20;
    std::int64_t delay = 300;
    long pauseAt = -1;
    std::int64_t pauseMs = 0;
    long holdAfter = -1;
    std::int64_t holdMs = 0;
};
struct Sent {
    std::vector<std::string> lines;
    long first = 0;
    std::int64_t arrivedMs = 0;
    int round = 0;  // the round the client claims with this batch, or 0
};
struct Stream {
    std::vector<Sent> batches;
    std::vector<IssuedValue> values;  // in the order they were issued
};

// The demo played at the pace given and streamed by the game's own world
// client: it decides what goes in which batch and when (about once a second,
// at once after a round's first and last ticks and with its close) and which
// round each claim names. The initials take 3 s to type. Every batch is
// answered at once.
Stream honestStream(const std::string& text, const Pace& pace = {}) {
    world::Client client;
    client.sessionAnswered({200, R"({"session": ")" + std::string(32, 'a') + R"(", "seed": "1"})"}, "the table");
    Stream out;
    std::int64_t clock = kStart + 1000;  // the client's clock when its latest line was written
    std::int64_t base = clock;           // when the current round's clock started
    long roundTicks = -1, sent = 0;
    bool held = false;
    std::string previous;
    const auto send = [&] {
        while (const auto r = client.due(clock)) {
            Sent b;
            b.first = sent;
            for (std::size_t at = 0; at < r->body.size(); at = r->body.find('\n', at) + 1)
                b.lines.push_back(r->body.substr(at, r->body.find('\n', at) - at));
            sent += static_cast<long>(b.lines.size());
            const std::size_t claim = r->path.find("&round=");
            if (claim != std::string::npos) b.round = std::stoi(r->path.substr(claim + 7));
            b.arrivedMs = std::max(clock + pace.delay + (held ? pace.holdMs : 0), out.batches.empty() ? 0 : out.batches.back().arrivedMs);
            out.batches.push_back(b);
            client.answered({200, R"({"lines": )" + std::to_string(sent) + "}"}, clock);
        }
    };
    for (const std::string& l : linesOf(text)) {
        if (l == "click") {
            roundTicks = 0;
            base = clock;
            held = false;
        } else if (l.rfind("value ", 0) == 0) {
            clock += 500;
            out.values.push_back({std::stoull(l.substr(6)), clock});
            base = clock;
        } else if (l == "tick" && roundTicks >= 0) {
            ++roundTicks;
            clock = base + static_cast<std::int64_t>(roundTicks * pace.msPerTick) +
                    (pace.pauseAt >= 0 && roundTicks > pace.pauseAt ? pace.pauseMs : 0);
            held = held || (pace.holdAfter >= 0 && roundTicks > pace.holdAfter);
            if (roundTicks == 1000) roundTicks = -1;
        } else if (l.rfind("answer ", 0) == 0 && previous.rfind("table ", 0) == 0) {
            clock += 3000;  // the initials typed into the "Top 5" box
        }
        // The score the game placed, told at its table step (the value any claim names).
        if (l.rfind("table ", 0) == 0 && previous == "tick") client.tableStep(kClaimed);
        client.add(l + "\n");
        send();
        previous = l;
    }
    clock += 1000;
    send();
    return out;
}

SessionLog logOf(const std::string& text, std::uint64_t seed, const Stream& stream) {
    SessionLog log{seed, kStart, text, {}, stream.values, {}};
    for (const Sent& b : stream.batches) log.batches.push_back({b.first, static_cast<long>(b.lines.size()), b.arrivedMs});
    return log;
}

std::uint64_t seedOf(const std::string& text) { return std::stoull(linesOf(text)[1].substr(5)); }

const Replayer& replayer() {
    static const Replayer r = loadReplayer(BOPATRON_PROGRAM_DIR, image::decodePng);
    return r;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// value-rounds.dem: "New Game" pressed mid-round, then round 1 (placed with
// VAL, 1044) and round 2 (135, no box), each on a value of the table's.
constexpr char kValues[] = "value-rounds.dem";
// person-rounds.dem: the same shape played by the model of a person, whose
// rounds the table places: round 1 (placed with PER, -27), round 2 (-443, no box).
constexpr char kPerson[] = "person-rounds.dem";

TEST(Verification, RoundsOnTheTablesValuesAndEditedCopies) {
    const std::string values = golden(kValues), two = golden("two-rounds.dem");
    struct Case {
        const char* what;
        std::string text;
        int round;
        std::string code;
        Pace pace = {};
        std::uint64_t seed = 0;  // 0: the demo's own
        std::vector<IssuedValue> issued = {};  // empty: as the stream issued them
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
         {}, 0, {{1311768467463790321u, kStart}}},
        {"a line that is no event", replaced(values, "tick\ntick\n", "tick\ntock\n"), 1, "malformed"},
        // Round 2 follows 1400 ticks: 27.5 s of play with half a second ahead allowed.
        {"earlier rounds as fast as the clock allows", values, 2, "", {}, 0, {}, 27500},
        {"earlier rounds ahead of the clock", values, 2, "too-fast", {}, 0, {}, 27480},
    };
    for (const Case& c : cases) {
        const Stream stream = honestStream(c.text, c.pace);
        SessionLog log = logOf(c.text, c.seed ? c.seed : seedOf(c.text), stream);
        if (!c.issued.empty()) {
            log.values = c.issued;
            for (IssuedValue& v : log.values) v.issuedMs = stream.values.at(1).issuedMs;
        }
        for (const IssuedValue& v : log.values)
            if (c.began && v.value == scanRound(c.text, c.round)->value) log.createdMs = v.issuedMs - c.began;
        const Verdict v = verifyRound(log, c.round, replayer());
        EXPECT_EQ(v.refusal ? v.refusal->code : "", c.code) << c.what << ": " << (v.refusal ? v.refusal->message : "");
        if (v.refusal) EXPECT_FALSE(v.refusal->message.empty()) << c.what;
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
TEST(Verification, RoundsArePacedFromTheirValueAtEveryBatch) {
    const std::string values = golden(kValues);
    struct Case {
        const char* what;
        Pace pace;
        std::string code;
    };
    const Case cases[] = {
        {"streamed at once", {}, ""},
        {"delayed by 1 s as a whole", {20, 1000}, ""},
        {"held back 20 s as a whole", {20, 300, -1, 0, 0, 20000}, "too-slow"},
        {"its first tick at once, the rest held back 20 s", {20, 300, -1, 0, 1, 20000}, "too-slow"},
        {"a game 10 % slow", {22}, "too-slow"},
        {"a game 5 % slow, within what is allowed", {21}, ""},
        {"paused for 3 s at tick 500", {20, 300, 500, 3000}, "too-slow"},
        {"paused for 1 s at tick 500", {20, 300, 500, 1000}, ""},
        {"a game 5 % fast", {19}, "too-fast"},
        {"a game 2 % fast", {19.6}, ""},
    };
    for (const Case& c : cases) {
        for (const int round : {1, 2}) {
            const Verdict v = verifyRound(logOf(values, seedOf(values), honestStream(values, c.pace)), round, replayer());
            EXPECT_EQ(v.refusal ? v.refusal->code : "", c.code) << c.what << ", round " << round << ": "
                                                                   << (v.refusal ? v.refusal->message : "");
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

TEST(Verification, ReplayFactsComeFromTheTableStep) {
    struct Case {
        const char* demo;
        int round;
        std::string initials;  // as the table the game wrote keeps them
        std::int16_t score;    // at the table step; for a round not placed, the closing checkpoint's
        std::int16_t difficulty;
        bool asked;
        long lines;  // through the round's closing checkpoint
    };
    const Case cases[] = {
        {"two-rounds.dem", 1, "Zo\xeb", 1239, 0, true, 1163},
        {"world-rounds.dem", 1, "ACE", 1488, 1, true, 1555},
        {"two-rounds.dem", 2, "", -269, 4, false, 2226},
        {"world-rounds.dem", 2, "", -37, 6, false, 2667},
        {kValues, 1, "VAL", 1044, 2, true, 1588},
        {kValues, 2, "", 135, 5, false, 2688},
    };
    for (const Case& c : cases) {
        const RoundFacts f = replayRound(golden(c.demo), c.round, replayer());
        ASSERT_FALSE(f.failed) << c.demo << ": " << f.failed->message;
        EXPECT_EQ(std::tuple(f.initials, f.difficulty, f.asked, f.lines), std::tuple(c.initials, c.difficulty, c.asked, c.lines))
            << c.demo << " round " << c.round;
        // A rat that gets back in the round's last tick costs its 20 points after the table step.
        if (c.asked) EXPECT_EQ(f.score, c.score) << c.demo;
        else EXPECT_TRUE(f.score >= c.score && (f.score - c.score) % 20 == 0) << c.demo << ": " << f.score;
    }
}

// A session claimed round after round is played once: each replay goes on from
// the state the last one kept (as text, as a store keeps it), and finds the
// same facts as one replay from the first line.
TEST(Verification, AReplayGoesOnWhereTheLastStoppedAndPlaysEachTickOnce) {
    const auto fields = [](const RoundFacts& f) {
        return std::tuple(f.failed.has_value(), f.score, f.difficulty, f.asked, f.initials, f.lines, f.ticks, f.firstTickLine, f.endLine,
                          reactionsJson(f.reactions).dump());
    };
    for (const char* name : {"two-rounds.dem", "world-rounds.dem", kValues}) {
        const std::string text = golden(name);
        int rounds = 0;
        while (scanRound(text, rounds + 1)) ++rounds;
        ASSERT_GE(rounds, 1) << name;
        ReplayState state;
        long ticks = 0;
        for (int round = 1; round <= rounds; ++round) {
            state = parseReplayState(formatReplayState(state));
            const RoundFacts chained = replayRound(text, round, replayer(), state);
            ticks += state.ticksReplayed;
            const RoundFacts straight = replayRound(text, round, replayer());
            ASSERT_FALSE(straight.failed) << name << " round " << round << ": " << straight.failed->message;
            EXPECT_EQ(fields(chained), fields(straight)) << name << " round " << round;
            EXPECT_EQ(ticks, straight.ticks) << name << " round " << round << ": every tick through it played once";
        }
        // A round passed already is answered from the state, without a tick.
        EXPECT_EQ(fields(replayRound(text, 1, replayer(), state)), fields(replayRound(text, 1, replayer()))) << name;
        EXPECT_EQ(state.ticksReplayed, 0) << name;
    }
    // Lines that do not yet show round 2 closed leave the state as it was (round 1
    // replayed on the way is not kept without the point to go on from); with the rest
    // of the lines, the same facts as from the first line.
    const std::string values = golden(kValues);
    ReplayState early;
    const std::string cutShort = values.substr(0, values.rfind("checkpoint 2400 135 "));
    EXPECT_EQ(replayRound(cutShort, 2, replayer(), early).failed->code, "incomplete");
    EXPECT_TRUE(early.rounds.empty());
    EXPECT_EQ(fields(replayRound(values, 2, replayer(), early)), fields(replayRound(values, 2, replayer())));
    // A state that is not one starts again from the first line; a failed round stops the session's replay there.
    ReplayState unusable = parseReplayState(R"({"replay": 1, "rounds": [], "lines": 9, "offset": 99, "core": "bopatron-replay 1"})");
    EXPECT_EQ(replayRound(golden(kValues), 2, replayer(), unusable).score, replayRound(golden(kValues), 2, replayer()).score);
    ReplayState broken;
    const std::string edited = replaced(golden(kValues), "checkpoint 1400 1044 2d69354175046360", "checkpoint 1400 1044 2d69354175046361");
    EXPECT_EQ(replayRound(edited, 2, replayer(), broken).failed->code, "differs");
    ASSERT_EQ(broken.rounds.size(), 1u);
    EXPECT_EQ(replayRound(edited, 2, replayer(), broken).failed->code, "differs");
    EXPECT_EQ(broken.ticksReplayed, 0) << "the round that parted ways is not played again";
}

// A replay restored from a snapshot shows the same frames as the one it was
// taken from: the generator, the game and the back buffer's last column (which
// no background covers: here the hand left pixels there) go on alike.
TEST(Verification, ASnapshotGoesOnWithTheSameFrames) {
    struct Replay {
        explicit Replay(const demo::Demo& d) : host(d, BOPATRON_PROGRAM_DIR) {}
        draw::Surfaces surfaces = replayer().pictures;
        demo::ReplayHost host;
        game::Form1 form{host, surfaces};
        demo::Session session{form, surfaces};
    };
    const demo::Demo d = demo::parseDemo(golden(kValues));
    Replay first(d), second(d);
    first.session.load();
    demo::Outcome outcome;
    demo::playEvents(first.host, first.session, outcome, false, [](const demo::Event& e) { return e.line > 900; });
    first.session.mouseMove(0, 0, 445, 150);  // the hand over the field's right edge
    first.session.tick();
    second.form.state().spr = replayer().sprites;
    ASSERT_TRUE(demo::restore(demo::snapshot(first.host, first.session, first.form, first.surfaces), second.host,
                              second.session, second.form, second.surfaces));
    for (Replay* r : {&first, &second}) r->session.mouseMove(0, 0, 200, 100);
    for (int tick = 0; tick < 50; ++tick) {
        for (Replay* r : {&first, &second}) r->session.tick();
        ASSERT_EQ(second.session.checksum(), first.session.checksum()) << "tick " << tick;
    }
    EXPECT_EQ(second.form.state().score, first.form.state().score);
    EXPECT_FALSE(demo::restore("bopatron-replay 1\ngame 1 2", second.host, second.session, second.form, second.surfaces));
}

// The PostgreSQL the test run started (tests/server/postgres.sh), or "".
std::string testPostgres() {
    const char* url = std::getenv("BOPATRON_TEST_POSTGRES");
    return url ? url : "";
}

// A store of the backend named, empty: SQLite in memory, or a schema of its
// own in the test run's PostgreSQL (a memory SQLite when there is none; the test is skipped).
std::unique_ptr<Store> emptyStore(const std::string& backend) {
    if (backend != "postgresql" || testPostgres().empty()) return std::make_unique<SqliteStore>(":memory:");
    static int made = 0;
    const std::string schema = "test_" + std::to_string(getpid()) + "_" + std::to_string(++made);
    PGconn* admin = PQconnectdb(testPostgres().c_str());
    PQclear(PQexec(admin, ("CREATE SCHEMA " + schema).c_str()));
    PQfinish(admin);
    return std::make_unique<PostgresStore>(testPostgres() + "&options=-csearch_path%3D" + schema);
}

// The protocol on each backend; the clock and the round values are the test's.
class ApiTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgresql" && testPostgres().empty()) GTEST_SKIP() << "no BOPATRON_TEST_POSTGRES";
        api.newValue = [this] { return next; };
    }
    Response call(const std::string& method, const std::string& target, const std::string& body = "",
                  const std::string& client = "192.0.2.1") {
        return api.handle({method, target, body, client});
    }
    json callJson(const std::string& method, const std::string& target, const std::string& body = "") {
        const Response r = call(method, target, body);
        return json::parse(r.body);
    }
    // A session with the demo's own seed, as if the server had issued it.
    std::string session(const std::string& text, const std::string& id = std::string(32, 'a')) {
        store.createSession({id, seedOf(text), kStart, kStart, 0, 0});
        return id;
    }
    // A record placed straight into the store, of a session of its own.
    std::optional<long long> place(int score, std::int64_t at, const std::string& initials, bool final = true) {
        const std::string id = "0000" + std::to_string(1000000000000000000LL + ++placed) + "0000000000";
        store.createSession({id, 1, at, at, 0, 0});
        return store.placeRecord({0, id, 1, initials, final, score, 3, at, 9, false});
    }
    int placed = 0;
    static std::string body(const Sent& b) {
        std::string text;
        for (const std::string& l : b.lines) text += l + "\n";
        return text;
    }
    std::string linesTarget(const std::string& id, const Sent& b) {
        return "/api/sessions/" + id + "/lines?from=" + std::to_string(b.first);
    }
    // A claim sent again by itself: no lines, from the line the session holds next.
    Response claimAgain(const std::string& id, int round, int score) {
        return call("POST", "/api/sessions/" + id + "/lines?from=" + std::to_string(store.session(id)->lines) +
                                "&round=" + std::to_string(round) + "&score=" + std::to_string(score));
    }
    // Streams the demo as an honest client (each round's value asked for as it
    // was, each batch sent as it arrives); returns the answer to each claim
    // (sent with the batch that ends in a round's closing checkpoint).
    std::vector<json> stream(const std::string& id, const std::string& text, std::map<int, int> claims, const Pace& pace = {}) {
        const Stream s = honestStream(text, pace);
        std::vector<json> verdicts;
        std::size_t issued = 0;
        for (const Sent& b : s.batches) {
            for (; issued < s.values.size() && s.values[issued].issuedMs <= b.arrivedMs; ++issued) {
                now = s.values[issued].issuedMs;
                next = s.values[issued].value;
                EXPECT_EQ(callJson("POST", "/api/sessions/" + id + "/rounds")["value"], std::to_string(next));
            }
            now = b.arrivedMs;
            std::string target = linesTarget(id, b);
            if (b.round > 0 && claims.count(b.round))
                target += "&round=" + std::to_string(b.round) + "&score=" + std::to_string(claims[b.round]);
            const Response r = call("POST", target, body(b));
            EXPECT_EQ(r.status, 200) << r.body;
            if (target.find("round=") == std::string::npos) continue;
            verdicts.push_back(json::parse(r.body));
            EXPECT_EQ(verdicts.back()["lines"], b.first + static_cast<long>(b.lines.size())) << "the line expected next";
            verdicts.back().erase("lines");
        }
        return verdicts;
    }

    std::unique_ptr<Store> owned = emptyStore(GetParam());
    Store& store = *owned;
    std::int64_t now = kStart;
    std::uint64_t next = 0;  // the round value the table issues next
    std::vector<std::string> logged;
    Api api{store, replayer(), {[this] { return now; }}, [this](const std::string& line) { logged.push_back(line); }};
};

TEST_P(ApiTest, SessionsHaveRandomIdsAndSeedsAndAreLimitedPerAddress) {
    const json a = callJson("POST", "/api/sessions"), b = callJson("POST", "/api/sessions");
    EXPECT_TRUE(std::regex_match(a["session"].get<std::string>(), std::regex("[0-9a-f]{32}")));
    EXPECT_TRUE(std::regex_match(a["seed"].get<std::string>(), std::regex("[0-9]{1,20}")));
    EXPECT_NE(a["session"], b["session"]);
    EXPECT_NE(a["seed"], b["seed"]);
    for (int i = 2; i < kSessionBurst; ++i) ASSERT_EQ(call("POST", "/api/sessions").status, 200) << i;
    EXPECT_EQ(call("POST", "/api/sessions").status, 429);
    EXPECT_EQ(call("POST", "/api/sessions", "", "::ffff:192.0.2.1").status, 429) << "the same address, v4-mapped";
    EXPECT_EQ(call("POST", "/api/sessions", "", "192.0.2.2").status, 200) << "another address";
    // IPv6: one /64 is one subscriber, however many addresses it takes.
    for (int i = 0; i < kSessionBurst; ++i)
        ASSERT_EQ(call("POST", "/api/sessions", "", "2001:db8:1:2::" + std::to_string(i + 1)).status, 200) << i;
    EXPECT_EQ(call("POST", "/api/sessions", "", "2001:db8:1:2:ffff::9").status, 429) << "the same /64";
    EXPECT_EQ(call("POST", "/api/sessions", "", "2001:db8:1:3::1").status, 200) << "the next /64";
    now += kSessionRefillMs;
    EXPECT_EQ(call("POST", "/api/sessions").status, 200) << "one more after 20 s";
    EXPECT_EQ(call("POST", "/api/sessions").status, 429);
}

TEST_P(ApiTest, RoundValuesComeFromTheSystemOncePerAskAndAreBounded) {
    api.newValue = Api(store, replayer(), {}, {}).newValue;  // the operating system's, as served
    const std::string id = session(golden(kPerson));
    const json a = callJson("POST", "/api/sessions/" + id + "/rounds"), b = callJson("POST", "/api/sessions/" + id + "/rounds");
    EXPECT_TRUE(std::regex_match(a["value"].get<std::string>(), std::regex("[0-9]{1,20}"))) << a;
    EXPECT_NE(a["value"], b["value"]);
    EXPECT_EQ(store.log(id).values.size(), 2u);
    EXPECT_EQ(store.log(id).values[0].issuedMs, kStart);
    EXPECT_EQ(call("POST", "/api/sessions/" + std::string(32, 'f') + "/rounds").status, 404);
    EXPECT_EQ(call("GET", "/api/sessions/" + id + "/rounds").status, 405);
    if (GetParam() == "sqlite") {  // the count is the store's; once is enough
        const std::string other = session(golden(kPerson), std::string(32, 'c'));
        for (int i = 0; i < kMostValues; ++i) ASSERT_EQ(call("POST", "/api/sessions/" + other + "/rounds").status, 200) << i;
        EXPECT_EQ(call("POST", "/api/sessions/" + other + "/rounds").status, 413);
    }
    now += kSessionIdleMs + 1;
    EXPECT_EQ(call("POST", "/api/sessions/" + id + "/rounds").status, 404) << "a session idle for an hour has ended";
}

// Rounds in play from one address: four sessions' values within 30 s, each freed when its
// round is claimed or its 30 s pass; a session asking again replaces its own.
TEST_P(ApiTest, AnAddressHasAtMostFourRoundsInPlay) {
    const auto ask = [&](char id, const std::string& from = "192.0.2.1") {
        return call("POST", "/api/sessions/" + std::string(32, id) + "/rounds", "", from).status;
    };
    api.newValue = [this] { return ++next; };
    for (const char id : {'a', 'b', 'c', 'd', 'e'}) session(golden(kPerson), std::string(32, id));
    for (const char id : {'a', 'b', 'c', 'd'}) ASSERT_EQ(ask(id), 200) << id;
    EXPECT_EQ(ask('e'), 429);
    const json refused = json::parse(call("POST", "/api/sessions/" + std::string(32, 'e') + "/rounds").body);
    EXPECT_EQ(refused["message"], "4 rounds are in play from this address already; this one plays off the table");
    EXPECT_EQ(ask('a'), 200) << "a session asking again replaces its own round";
    EXPECT_EQ(ask('e', "192.0.2.2"), 200) << "another address";
    EXPECT_EQ(ask('e', "2001:db8::1"), 200);
    EXPECT_EQ(ask('e', "2001:db8::2"), 200) << "the same /64: its second";
    // A claim decided (here refused: the lines are another session's, on values not issued to it).
    const Response claimed = call("POST", "/api/sessions/" + std::string(32, 'b') + "/lines?from=0&round=1&score=0", golden(kValues));
    ASSERT_EQ(json::parse(claimed.body)["refused"], "value") << claimed.body;
    EXPECT_EQ(ask('e'), 200) << "a claimed round is no longer in play";
    EXPECT_EQ(ask('a', "192.0.2.9"), 200);
    now += kValueInPlayMs - 1;
    EXPECT_EQ(ask('b'), 429);
    now += 1;
    EXPECT_EQ(ask('b'), 200) << "30 s after its value, a round unclaimed is no longer in play";
}

TEST_P(ApiTest, StreamedRoundIsPlacedRankedAndCanBeWatched) {
    const std::string text = golden(kPerson);
    const std::string id = session(text);
    const auto verdicts = stream(id, text, {{1, -27}});
    ASSERT_EQ(verdicts.size(), 1u);
    EXPECT_EQ(verdicts[0], json::parse(R"({"placed": true, "record": 1, "ranks": {"all": 1, "today": 1}})"));
    const json top = callJson("GET", "/api/top?board=today&n=5");
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(std::tuple(top[0]["initials"], top[0]["rank"], top[0]["score"], top[0]["difficulty"], top[0]["record"]),
              std::tuple("PER", 1, -27, 2, 1));
    EXPECT_TRUE(std::regex_match(top[0]["at"].get<std::string>(), std::regex("2026-12-08T07:00:[0-5][0-9]Z")));
    EXPECT_EQ(callJson("GET", "/api/records/1")["score"], -27);
    // How fast its whacks came, for anyone to see; a record on the boards is held by no one.
    const json record = callJson("GET", "/api/records/1");
    EXPECT_EQ(std::tuple(record["reactions"]["whacks"], record["reactions"]["fastestMs"], record["reactions"]["underFloor"]),
              std::tuple(12, 100, 0)) << record.dump();
    EXPECT_TRUE(record["held"].is_null()) << record.dump();
    // The demo to watch: the session's lines through the round, closed by an end line.
    const std::vector<std::string> all = linesOf(text);
    std::string expected;
    for (std::size_t i = 0; i < 2402; ++i) expected += all[i] + "\n";
    EXPECT_EQ(call("GET", "/api/records/1/demo").body, expected + "end 1400 -27 301dbcb184f162fe\n");
    EXPECT_THAT(logged, ::testing::Contains(::testing::HasSubstr("placed as record 1 with -27")));
    EXPECT_EQ(api.replays(), 1);
}

// The bot that recorded value-rounds.dem presses each rat the tick it sees it:
// its round is kept with why, off the boards, until an operator approves it.
TEST_P(ApiTest, ARoundNoPersonCouldPlayIsHeldWithWhyUntilApproved) {
    const std::string text = golden(kValues);
    const std::string id = session(text);
    const json verdict = stream(id, text, {{1, 1044}})[0];
    EXPECT_EQ(std::tuple(verdict["placed"], verdict["held"], verdict["record"]), std::tuple(false, true, 1)) << verdict.dump();
    // Four of its rats came up under a hand already there: luck, not too fast.
    EXPECT_THAT(verdict["message"].get<std::string>(), ::testing::StartsWith("26 of 30 whacks came faster than a person reacts; "))
        << verdict.dump();
    EXPECT_EQ(callJson("GET", "/api/top"), json::array()) << "off the boards";
    EXPECT_EQ(callJson("GET", "/api/top?board=today"), json::array());
    const json record = callJson("GET", "/api/records/1");
    EXPECT_EQ(record["held"], verdict["message"]);
    EXPECT_EQ(record["reactions"]["fastestMs"], 0) << record.dump();
    // Every press and every rat of the round beside the summary: [tick, x, y, points] and
    // [tick, row, col, x, y, under the pointer, chance], ticks of the round.
    EXPECT_EQ(record["presses"].size(), record["reactions"]["presses"]);
    EXPECT_EQ(record["rats"].size(), record["reactions"]["ratsShown"]);
    EXPECT_THAT(record["presses"][0].get<std::vector<double>>(), ::testing::SizeIs(4));
    EXPECT_THAT(record["rats"][0][0].get<long>(), ::testing::AllOf(::testing::Ge(1), ::testing::Le(1000)));
    EXPECT_EQ(call("GET", "/api/records/1/demo").status, 200) << "an operator can watch it";
    EXPECT_THAT(logged, ::testing::Contains(::testing::HasSubstr("held as record 1 with 1044: ")));
    EXPECT_NE(call("GET", "/metrics").body.find("bopatron_verdicts_total{code=\"held\"} 1\n"), std::string::npos);
    // Held, a round still counts nowhere: a round below it places as if it were not there.
    for (int i = 0; i < 4; ++i) place(100, kStart, "LOW");
    EXPECT_EQ(callJson("GET", "/api/top").size(), 4u);
    now += kClaimRefillMs;
    json again = json::parse(claimAgain(id, 1, 1044).body);
    again.erase("lines");
    EXPECT_EQ(again, verdict) << "the same verdict sent again";
    // Approved: on the boards where the time it was played ranks it, and said so to a claim sent again.
    EXPECT_FALSE(store.record(1)->approved);
    EXPECT_TRUE(store.approveRecord(1));
    EXPECT_TRUE(store.record(1)->approved) << "review lists it no more";
    EXPECT_FALSE(store.approveRecord(1)) << "approved once";
    EXPECT_FALSE(store.approveRecord(2)) << "a record that was never held";
    now += kClaimRefillMs;
    again = json::parse(claimAgain(id, 1, 1044).body);
    again.erase("lines");
    EXPECT_EQ(again, json::parse(R"({"placed": true, "record": 1, "ranks": {"all": 1, "today": 1}})"));
    EXPECT_EQ(callJson("GET", "/api/top")[0]["initials"], "VAL");
    EXPECT_TRUE(callJson("GET", "/api/records/1")["held"].is_null());
    // Taken off again: a claim sent again is told so, not given a rank it no longer has.
    EXPECT_TRUE(store.removeRecord(1));
    now += kClaimRefillMs;
    again = json::parse(claimAgain(id, 1, 1044).body);
    EXPECT_EQ(std::tuple(again["placed"], again["refused"]), std::tuple(false, "removed")) << again.dump();
    EXPECT_EQ(api.replays(), 1);
}

TEST_P(ApiTest, AClaimIsDecidedOnceAndSentAgainCostsNoReplay) {
    const std::string text = golden(kPerson);
    const std::string refused = session(text, std::string(32, 'b'));
    const auto first = stream(refused, text, {{1, -17}});
    EXPECT_EQ(first[0]["refused"], "score") << "an edited claim";
    for (const int score : {-17, -17, -27, -17, -27, -17, -17, -17, -27, -17}) {
        now += kClaimRefillMs;
        json again = json::parse(claimAgain(refused, 1, score).body);
        again.erase("lines");
        EXPECT_EQ(again, first[0]) << "a claim sent again gets the verdict given";
    }
    EXPECT_EQ(api.replays(), 1) << "ten claims sent again, no replay more";
    EXPECT_THAT(logged, ::testing::Contains(::testing::HasSubstr("answered again from its verdict")));
    // Placed once, then sent again: the same record, still one on the board.
    const std::string id = session(text);
    EXPECT_EQ(json::parse(claimAgain(id, 1, -27).body)["record"], stream(id, text, {{1, -27}})[0]["record"]);
    EXPECT_EQ(api.replays(), 2);
    EXPECT_EQ(callJson("GET", "/api/top").size(), 1u);
}

// Every tick of a session is replayed once on whichever server of a cluster: each goes
// on from the state kept (the last round claimed first: the hundred-round test below).
TEST_P(ApiTest, EachTickOfASessionIsReplayedOnceWhicheverClaimAndServer) {
    const std::string text = golden(kPerson);
    const long round1 = replayRound(text, 1, replayer()).ticks, round2 = replayRound(text, 2, replayer()).ticks;
    const std::string id = session(text);
    EXPECT_EQ(stream(id, text, {{1, -27}})[0]["placed"], true);
    EXPECT_EQ(api.ticksReplayed(), round1);
    Api other{store, replayer(), {[this] { return now; }}, [](const std::string&) {}};
    const Response second = other.handle({"POST", "/api/sessions/" + id + "/lines?from=" + std::to_string(store.session(id)->lines) +
                                                      "&round=2&score=-443", "", "192.0.2.1"});
    EXPECT_EQ(json::parse(second.body)["placed"], true) << second.body;
    EXPECT_EQ(other.ticksReplayed(), round2 - round1) << "the other server went on from where the first stopped";
}

// A session of 100 rounds (a person's, one after the other on values 1 to 100):
// its last round claimed first replays each of its ticks once; every earlier
// round is then answered from what that replay found, and claims sent again
// from their verdicts, without a tick more.
TEST_P(ApiTest, TheHundredthRoundClaimedReplaysEachTickOnceAndNoClaimAfterItReplays) {
    if (GetParam() != "sqlite") GTEST_SKIP() << "the state kept on each backend is the test above's";
    std::string values;
    for (int v = 1; v <= kMostRounds; ++v) values += " " + std::to_string(v);
    const std::string command = std::string(BOPATRON_RECORD_DEMOS) + " " + BOPATRON_PROGRAM_DIR + " --plan";
    FILE* planner = popen(("echo " + std::string(32, 'a') + " 20261208" + values + " | " + command).c_str(), "r");
    ASSERT_NE(planner, nullptr);
    std::string planned;
    for (char chunk[65536]; std::fgets(chunk, sizeof chunk, planner);) planned += chunk;
    pclose(planner);
    std::string text;
    std::map<int, int> scores;
    std::istringstream lines(planned);
    for (std::string line; std::getline(lines, line);) {
        const json r = json::parse(line);  // a request, or the plan's end
        if (!r.contains("body")) continue;
        text += r["body"].get<std::string>();
        std::smatch claim;
        const std::string path = r["path"];
        if (std::regex_search(path, claim, std::regex("round=(\\d+)&score=(-?\\d+)"))) scores[std::stoi(claim[1])] = std::stoi(claim[2]);
    }
    ASSERT_EQ(scores.size(), static_cast<std::size_t>(kMostRounds));
    const std::string id = session(text);
    EXPECT_EQ(stream(id, text, {{kMostRounds, 32767}})[0]["refused"], "score");
    EXPECT_EQ(api.ticksReplayed(), kMostRounds * 1000L) << "every tick of the session once";
    for (int round = kMostRounds; round >= 1; --round) {
        now += kClaimRefillMs;
        EXPECT_EQ(json::parse(claimAgain(id, round, round == kMostRounds ? 32767 : scores[round]).body).value("refused", ""),
                  round == kMostRounds ? "score" : "")
            << "round " << round;
    }
    EXPECT_EQ(api.ticksReplayed(), kMostRounds * 1000L);
    EXPECT_EQ(api.replays(), 1);
}

TEST_P(ApiTest, ClaimsPerSessionAreLimited) {
    const std::string text = golden(kPerson);
    const std::string id = session(text);
    stream(id, text, {{1, -27}});
    // The round's claim was 20 s ago, the whole of the next round: the burst is full again.
    for (int i = 0; i < kClaimBurst; ++i) EXPECT_EQ(claimAgain(id, 1, -27).status, 200) << i;
    EXPECT_EQ(claimAgain(id, 1, -27).status, 429);
    EXPECT_EQ(call("POST", "/api/sessions/" + id + "/lines?from=0", "bopatron-demo 1\n").status, 200)
        << "lines without a claim are not limited";
    now += kClaimRefillMs;
    EXPECT_EQ(claimAgain(id, 1, -27).status, 200);
}

TEST_P(ApiTest, ARoundIsReplayedOnlyWhenItCouldPlace) {
    const std::string text = golden(kPerson);
    // Every board full above it: no replay.
    for (int i = 0; i < 5; ++i) place(2000, kStart, "TOP");
    EXPECT_EQ(stream(session(text), text, {{1, -27}})[0], json::parse(R"({"placed": false})"));
    EXPECT_THAT(logged, ::testing::Contains(::testing::HasSubstr("-27 places on no board")));
    EXPECT_EQ(api.replays(), 0);
    // Refusals that need none come first: a game slowed down, a round without a value.
    EXPECT_EQ(stream(session(text, std::string(32, 'b')), text, {{1, 3000}}, {22})[0]["refused"], "too-slow");
    // (The game's client claims no round played without a value: this claim is sent by hand.)
    const std::string two = golden("two-rounds.dem");
    const std::string noValue = session(two, std::string(32, 'c'));
    stream(noValue, two, {});
    const std::string held = std::to_string(linesOf(two).size());
    EXPECT_EQ(callJson("POST", "/api/sessions/" + noValue + "/lines?from=" + held + "&round=1&score=3000")["refused"], "no-value");
    EXPECT_EQ(api.replays(), 0);
}

TEST_P(ApiTest, ARoundThatPlacesOnlyTodayIsPlacedThere) {
    // The all-time five are higher, and from yesterday.
    for (int i = 0; i < 5; ++i) place(2000, kStart - 86400000, "OLD");
    const std::string text = golden(kPerson);
    EXPECT_EQ(stream(session(text), text, {{1, -27}})[0],
              json::parse(R"({"placed": true, "record": 6, "ranks": {"all": null, "today": 1}})"));
    EXPECT_EQ(callJson("GET", "/api/top?board=today")[0]["initials"], "PER");
}

// The board's order is the board test's; the verdict ranks by the same comparison.
TEST_P(ApiTest, AnEqualScoreRanksBelowTheEarlierRecordInTheVerdict) {
    // Placed first, but its round ended after the streamed one's.
    place(-27, kStart + 600000, "LAT");
    const std::string text = golden(kPerson);
    EXPECT_EQ(stream(session(text), text, {{1, -27}})[0],
              json::parse(R"({"placed": true, "record": 2, "ranks": {"all": 1, "today": 1}})"));
}

TEST_P(ApiTest, BatchesAreTakenOnceInOrderAndBounded) {
    const std::string id = session(golden("two-rounds.dem"));
    const std::string lines = "/api/sessions/" + id + "/lines?from=";
    const std::string start = "bopatron-demo 1\nseed 20261208\n";
    const std::pair<Response, std::pair<int, std::string>> cases[] = {
        {call("POST", lines + "0", start), {200, R"({"lines":2})"}},
        {call("POST", lines + "0", start), {200, R"({"lines":2})"}},  // sent twice, taken once
        {call("POST", lines + "1", "seed 20261208\nclick\n"), {200, R"({"lines":3})"}},  // overlapping: the new line only
        {call("POST", lines + "4", "tick\n"), {409, R"({"error":"gap","expected":3,"message":"lines are missing: the next line expected is 3"})"}},
        {call("POST", lines + "3", "tick"), {400, ""}},
        {call("POST", lines + "3", "tick\n\xc3\xa9\n"), {400, ""}},
        {call("POST", lines + "x", "tick\n"), {400, ""}},
        {call("POST", "/api/sessions/" + id + "/lines", "tick\n"), {400, ""}},
        {call("POST", lines + "3&round=0&score=5", "tick\n"), {400, ""}},
        {call("POST", lines + "3&round=1&score=40000", "tick\n"), {400, ""}},
        {call("POST", lines + "3&round=101&score=5", "tick\n"), {413, ""}},
        {call("POST", lines + "3", std::string(kMostBatchBytes + 1, '\n')), {413, ""}},
        {call("POST", "/api/sessions/" + std::string(32, 'f') + "/lines?from=0", start), {404, ""}},
        {call("POST", "/api/sessions/../lines?from=0", start), {404, ""}},
        {call("GET", lines + "3"), {405, ""}},
        {call("GET", "/api/nothing"), {404, ""}},
    };
    for (const auto& [got, want] : cases) {
        EXPECT_EQ(got.status, want.first) << got.body;
        if (!want.second.empty()) {
            EXPECT_EQ(json::parse(got.body), json::parse(want.second));
        }
        if (got.status >= 400) {
            EXPECT_TRUE(json::parse(got.body).contains("message")) << got.body;
        }
    }
    EXPECT_EQ(store.log(id).text, start + "click\n");
    EXPECT_EQ(store.log(id).batches.size(), 2u);
    // A session ends an hour after its last line, not an hour after it began.
    now += kSessionIdleMs - 1;
    EXPECT_EQ(call("POST", lines + "3", "tick\n").status, 200);
    now += kSessionIdleMs - 1;
    EXPECT_EQ(call("POST", lines + "4", "tick\n").status, 200);
    // 8 MB of lines: 32 full batches of 256 KB, less what it holds.
    const std::string bulk = [] { std::string b; while (b.size() + 5 <= kMostBatchBytes) b += "tick\n"; return b; }();
    int status = 200, taken = 0;
    for (long from = 5; status == 200; from += static_cast<long>(bulk.size() / 5), ++taken)
        status = call("POST", lines + std::to_string(from), bulk).status;
    EXPECT_EQ(status, 413) << "a session holds at most 8 MB";
    EXPECT_EQ(taken - 1, kMostSessionBytes / static_cast<std::int64_t>(bulk.size()));
    EXPECT_LE(store.session(id)->bytes, kMostSessionBytes);
    now += kSessionIdleMs + 1;
    EXPECT_EQ(call("POST", lines + "0", start).status, 404) << "a session ends after an hour without lines";
}

TEST_P(ApiTest, BoardsRankHigherFirstAndAnEqualScoreBelowTheEarlierRecord) {
    const std::int64_t yesterday = kStart - 86400000;
    const std::tuple<int, std::int64_t, const char*> rows[] = {{300, kStart + 5, "B"}, {500, yesterday, "Y"}, {300, kStart + 1, "A"},
                                                               {400, kStart + 9, "C"}, {300, kStart + 1, "D"}};
    for (const auto& [score, at, initials] : rows) place(score, at, initials);
    now = kStart + 60000;
    const auto initials = [&](const std::string& target) {
        std::string out;
        for (const json& row : callJson("GET", target)) out += row["initials"].get<std::string>() + std::to_string(row["rank"].get<int>());
        return out;
    };
    EXPECT_EQ(initials("/api/top"), "Y1C2A3D4B5");
    EXPECT_EQ(initials("/api/top?board=today&n=2"), "C1A2");
    EXPECT_EQ(initials("/api/top?board=all&n=100"), "Y1C2A3D4B5");
    for (const char* bad : {"/api/top?n=0", "/api/top?n=101", "/api/top?board=week", "/api/top?n=%zz"})
        EXPECT_EQ(call("GET", bad).status, 400) << bad;
    EXPECT_TRUE(store.removeRecord(4));
    EXPECT_EQ(initials("/api/top"), "Y1A2D3B4");
    EXPECT_EQ(call("GET", "/api/records/4").status, 404) << "a removed record is off the boards";
}

// Today's board is the UTC day of the table's clock: from midnight UTC, not
// the last 24 hours, and not the server's own midnight (it runs here nine
// hours east of UTC).
TEST_P(ApiTest, TodayIsTheUtcDayWhereverTheServerIs) {
    const char* zone = std::getenv("TZ");
    const std::string saved = zone ? zone : "";
    setenv("TZ", "JST-9", 1);
    tzset();
    const std::int64_t midnight = 1796688000000;  // 2026-12-08T00:00:00Z
    place(100, midnight - 1, "EVE");    // 23:59:59.999 the day before
    place(200, midnight, "MID");        // midnight to the millisecond
    place(300, midnight + 3600000, "ONE");
    struct Case {
        std::int64_t now;
        const char* today;
    };
    const Case cases[] = {
        {midnight + 3600000, "ONE1MID2"},        // one in the morning, UTC: ten in the server's evening
        {midnight + 23 * 3600000, "ONE1MID2"},   // 23 hours on: EVE is within 24 hours, but yesterday
        {midnight + 86400000 - 1, "ONE1MID2"},   // the day's last millisecond
        {midnight + 86400000, ""},               // the next day
    };
    for (const Case& c : cases) {
        now = c.now;
        std::string got;
        for (const json& row : callJson("GET", "/api/top?board=today"))
            got += row["initials"].get<std::string>() + std::to_string(row["rank"].get<int>());
        EXPECT_EQ(got, c.today) << "at " << c.now;
    }
    saved.empty() ? unsetenv("TZ") : setenv("TZ", saved.c_str(), 1);
    tzset();
}

TEST_P(ApiTest, InitialsAreGivenOnceWithinTenMinutesAndKeptAsTheTableKeepsThem) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"initials": "abcdef"})", "abc"}, {R"({"initials": "Zo\u00eb"})", "Zo\xc3\xab"}, {R"({"initials": "\"q"})", "'q "},
        {R"({"initials": ""})", "XXX"}, {R"({"initials": "\u20ac1"})", "?1 "}, {R"({"initials": "<b>"})", "<b>"}};
    for (const auto& [body, kept] : cases) {
        const auto id = place(100, now, "XXX", false);
        const std::string target = "/api/records/" + std::to_string(*id) + "/initials";
        EXPECT_EQ(callJson("POST", target, body)["initials"], kept) << body;
        EXPECT_EQ(call("POST", target, body).status, 409) << "once";
    }
    const auto late = place(100, now - kInitialsWithinMs - 1, "XXX", false);
    EXPECT_EQ(call("POST", "/api/records/" + std::to_string(*late) + "/initials", R"({"initials": "LAT"})").status, 409);
    for (const char* bad : {"", "{", R"({"initials": 5})", R"(["ABC"])"})
        EXPECT_EQ(call("POST", "/api/records/1/initials", bad).status, 400) << bad;
    EXPECT_EQ(call("POST", "/api/records/999/initials", R"({"initials": "ABC"})").status, 404);
}

TEST_P(ApiTest, ARoundPlacedOnlyOnTheWorldBoardTakesItsInitialsOnce) {
    const std::string text = golden(kPerson);
    const auto verdicts = stream(session(text), text, {{1, -27}, {2, -443}});
    ASSERT_EQ(verdicts.size(), 2u);
    ASSERT_EQ(verdicts[1]["placed"], true) << verdicts[1].dump();
    const std::string target = "/api/records/" + std::to_string(verdicts[1]["record"].get<long long>()) + "/initials";
    EXPECT_EQ(callJson("GET", "/api/records/" + std::to_string(verdicts[1]["record"].get<long long>()))["initials"], "XXX");
    EXPECT_EQ(callJson("POST", target, R"({"initials": "WLD"})")["initials"], "WLD");
    EXPECT_EQ(call("POST", "/api/records/1/initials", R"({"initials": "TWO"})").status, 409) << "typed into the game's box already";
}

TEST_P(ApiTest, AReplayThatThrowsIsAnswered500AndTheNextClaimIsServed) {
    const std::string text = golden(kPerson);
    const std::string id = session(text);
    stream(id, text, {});
    api.replay = [](const std::string&, int, ReplayState&) -> RoundFacts { throw std::runtime_error("the replay broke"); };
    const Response failed = claimAgain(id, 1, -27);
    EXPECT_EQ(std::tuple(failed.status, json::parse(failed.body)["error"]), std::tuple(500, "internal"));
    EXPECT_THAT(logged, ::testing::Contains("internal error in claim: the replay broke"));
    api.replay = [](const std::string& t, int round, ReplayState& state) { return replayRound(t, round, replayer(), state); };
    EXPECT_EQ(json::parse(claimAgain(id, 1, -27).body)["placed"], true) << "nothing was decided by the failure";
}

TEST_P(ApiTest, HealthAndMetricsAnswerAndADrainingServerSendsPlayersOn) {
    EXPECT_EQ(call("GET", "/livez").status, 200);
    EXPECT_EQ(call("GET", "/readyz").status, 200);
    const std::string text = golden(kPerson);
    stream(session(text), text, {{1, -27}, {2, -443}});
    const std::string metrics = call("GET", "/metrics").body;
    for (const char* line : {"bopatron_verdicts_total{code=\"placed\"} 2", "bopatron_replay_seconds_count 2",
                             "bopatron_round_values_total 3", "bopatron_http_requests_total{route=\"claim\",status=\"200\"} 2",
                             "bopatron_http_requests_total{route=\"rounds\",status=\"200\"} 3", "bopatron_replay_queue 0",
                             "# TYPE bopatron_replay_seconds histogram", "bopatron_database_errors_total 0"})
        EXPECT_NE(metrics.find(std::string(line) + "\n"), std::string::npos) << line << " in\n" << metrics;
    EXPECT_FALSE(std::regex_search(metrics, std::regex("[0-9a-f]{32}|192\\.0\\.2"))) << "a session or an address in a label";
    api.drain();
    EXPECT_EQ(call("GET", "/readyz").status, 503);
    const Response refused = call("POST", "/api/sessions");
    EXPECT_EQ(std::tuple(refused.status, json::parse(refused.body)["error"]), std::tuple(503, "draining"));
    EXPECT_EQ(call("GET", "/livez").status, 200) << "the process still answers";
}

// Retention: a session idle past its time goes unless it holds a record, which
// keeps the lines its demo needs and nothing after them.
TEST_P(ApiTest, RetentionDeletesIdleSessionsButWhatRecordsNeed) {
    const std::int64_t old = kStart - 8 * 86400000LL, keepFrom = kStart - 7 * 86400000LL;
    const std::string idle(32, '1'), recorded(32, '2'), recent(32, '3');
    for (const std::string& id : {idle, recorded, recent}) {
        const std::int64_t at = id == recent ? kStart : old;
        store.createSession({id, 1, at, at, 0, 0});
        store.appendLines(id, 0, {"bopatron-demo 1", "seed 1", "click"}, at, kMostSessionBytes);
        store.appendLines(id, 3, {"tick", "tick"}, at, kMostSessionBytes);
        ASSERT_TRUE(store.issueValue(id, 5, at, kMostValues));
        store.keepVerdict(id, 1, {});
    }
    const auto record = store.placeRecord({0, recorded, 1, "OLD", true, 100, 0, old, 3, false});
    EXPECT_EQ(store.purge(keepFrom, 20), 2);
    EXPECT_FALSE(store.session(idle));
    EXPECT_EQ(store.log(idle).text, "");
    EXPECT_EQ(store.log(recorded).text, "bopatron-demo 1\nseed 1\nclick\n") << "the record's lines and no more";
    EXPECT_EQ(call("GET", "/api/records/" + std::to_string(*record) + "/demo").body, "bopatron-demo 1\nseed 1\nclick\n");
    EXPECT_EQ(store.log(recent).text, "bopatron-demo 1\nseed 1\nclick\ntick\ntick\n");
    EXPECT_EQ(store.purge(keepFrom, 20), 0) << "a session purged once is left alone";
    // Many at once: in steps of at most the number asked.
    for (int i = 0; i < 45; ++i) store.createSession({"0000" + std::to_string(1000000000000000000LL + i) + "0000000000", 1, old, old, 0, 0});
    std::vector<int> steps;
    for (int took = 1; took > 0;) steps.push_back(took = store.purge(keepFrom, 20));
    EXPECT_EQ(steps, (std::vector<int>{20, 20, 5, 0}));
}

INSTANTIATE_TEST_SUITE_P(Backends, ApiTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

// A store whose reads of the boards fail as no store's should (a bug, not the database).
class FlakyStore : public SqliteStore {
public:
    using SqliteStore::SqliteStore;
    std::vector<RecordRow> top(std::int64_t sinceMs, int n) override {
        if (fail) throw std::logic_error("a bug in the store");
        return SqliteStore::top(sinceMs, n);
    }
    bool fail = false;
};

TEST(Api, AStoreThatThrowsIsAnswered500AndTheNextRequestIsServed) {
    FlakyStore store(":memory:");
    std::vector<std::string> logged;
    Api api(store, replayer(), {[] { return kStart; }}, [&](const std::string& line) { logged.push_back(line); });
    store.fail = true;
    const Response failed = api.handle({"GET", "/api/top", "", "192.0.2.1"});
    EXPECT_EQ(std::tuple(failed.status, json::parse(failed.body)["error"]), std::tuple(500, "internal"));
    EXPECT_EQ(logged, std::vector<std::string>{"internal error in top: a bug in the store"});
    store.fail = false;
    EXPECT_EQ(api.handle({"GET", "/api/top", "", "192.0.2.1"}).status, 200);
    EXPECT_NE(api.metrics().text().find("bopatron_internal_errors_total 1\n"), std::string::npos);
}

TEST(Api, RoutesNameNoIdAndTheSiteIsNotTheProtocols) {
    const std::pair<const char*, const char*> cases[] = {
        {"/api/sessions", "sessions"}, {"/api/sessions/0123456789abcdef0123456789abcdef/rounds", "rounds"},
        {"/api/sessions/0123456789abcdef0123456789abcdef/lines?from=3", "lines"},
        {"/api/sessions/0123456789abcdef0123456789abcdef/lines?from=3&round=1&score=5", "claim"},
        {"/api/top?board=all", "top"}, {"/api/records/12", "record"}, {"/api/records/12/demo", "record_demo"},
        {"/api/records/12/initials", "record_initials"}, {"/livez", "livez"}, {"/readyz", "readyz"}, {"/metrics", "metrics"},
        {"/api/records/12/other", "other"}, {"/api/../etc", "other"}, {"/index.html", "other"},
    };
    for (const auto& [target, route] : cases) EXPECT_EQ(Api::routeOf(target), route) << target;
    EXPECT_TRUE(Api::serves("/metrics"));
    EXPECT_TRUE(Api::serves("/api/top?n=5"));
    EXPECT_FALSE(Api::serves("/index.html"));
    EXPECT_FALSE(Api::serves("/livez.html"));
    // The log cuts every session id to its first 8 digits, whatever follows it.
    for (const char* after : {"lines", "rounds"})
        EXPECT_EQ(Api::loggedPath("/api/sessions/0123456789abcdef0123456789abcdef/" + std::string(after) + "?from=3"),
                  "/api/sessions/01234567\u2026/" + std::string(after));
    EXPECT_EQ(Api::loggedPath("/api/top?n=5"), "/api/top");
}

// The address a request counts against, behind a trusted proxy and not, and the key the limit counts it by.
TEST(Addresses, TheProxysLastForwardedAddressCountsAndIpv6ByItsSlash64) {
    const std::optional<std::string> proxy = "127.0.0.1";
    struct Case {
        const char* peer;
        const char* forwarded;
        const char* client;
    };
    const Case cases[] = {
        {"127.0.0.1", "10.0.0.1", "10.0.0.1"},
        {"127.0.0.1", "6.6.6.6, 10.0.0.1", "10.0.0.1"},   // the client wrote the first; the proxy saw the last
        {"127.0.0.1", "6.6.6.6,10.0.0.1 ", "10.0.0.1"},
        {"127.0.0.1", "2001:db8:0:0::1", "2001:db8::1"},
        {"127.0.0.1", "", "127.0.0.1"},
        {"127.0.0.1", "6.6.6.6, not-an-address", "127.0.0.1"},
        {"192.0.2.7", "10.0.0.1", "192.0.2.7"},           // from anyone else the header is ignored
    };
    for (const Case& c : cases) EXPECT_EQ(clientAddress(c.peer, proxy, c.forwarded), c.client) << c.peer << " " << c.forwarded;
    EXPECT_EQ(clientAddress("127.0.0.1", std::nullopt, "10.0.0.1"), "127.0.0.1") << "no trusted proxy";
    const std::pair<const char*, const char*> keys[] = {
        {"192.0.2.1", "192.0.2.1"},
        {"::ffff:192.0.2.1", "192.0.2.1"},
        {"2001:db8:1:2:3:4:5:6", "2001:db8:1:2::/64"},
        {"2001:db8:1:2::", "2001:db8:1:2::/64"},
        {"::1", "::/64"},
    };
    for (const auto& [address, key] : keys) EXPECT_EQ(rateKey(address), key) << address;
}

// Two servers on one database, as a cluster runs them: two stores of each
// backend on one database, their calls lined up by a latch to come at once.
class TwoStores : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgresql" && testPostgres().empty()) GTEST_SKIP() << "no BOPATRON_TEST_POSTGRES";
        if (GetParam() == "sqlite") {
            a = std::make_unique<SqliteStore>(dir.filePath("world.db"));
            b = std::make_unique<SqliteStore>(dir.filePath("world.db"));
        } else {
            schema = "two_" + std::to_string(getpid()) + "_" + std::to_string(++made);
            sql("CREATE SCHEMA " + schema, false);
            a = std::make_unique<PostgresStore>(url());
            b = std::make_unique<PostgresStore>(url());
        }
        a->createSession({kId, 1, kStart, kStart, 0, 0});
    }
    std::string url() const { return testPostgres() + "&options=-csearch_path%3D" + schema; }
    // Runs statements on the database behind the stores' backs.
    void sql(const std::string& statements, bool inSchema = true) {
        if (GetParam() == "sqlite") {
            sqlite3* db = nullptr;
            sqlite3_open(dir.filePath("world.db").c_str(), &db);
            ASSERT_EQ(sqlite3_exec(db, statements.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
            sqlite3_close(db);
            return;
        }
        PGconn* db = PQconnectdb(inSchema ? url().c_str() : testPostgres().c_str());
        PGresult* r = PQexec(db, statements.c_str());
        EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(db);
        PQclear(r);
        PQfinish(db);
    }
    // Runs one call on each store at the same moment.
    template <typename Call> auto atOnce(Call call) {
        std::latch go(2);
        auto first = std::async(std::launch::async, [&] { go.arrive_and_wait(); return call(*a); });
        auto second = std::async(std::launch::async, [&] { go.arrive_and_wait(); return call(*b); });
        return std::pair(first.get(), second.get());
    }
    // What the database holds of the session agrees with itself: its count, its batches and its text.
    void expectWhole(const char* when) {
        const SessionLog log = a->log(kId);
        long next = 0;
        for (const Batch& batch : log.batches) {
            EXPECT_EQ(batch.first, next) << when << ": batches overlap or leave a gap";
            next = batch.first + batch.count;
        }
        EXPECT_EQ(a->session(kId)->lines, next) << when;
        EXPECT_EQ(static_cast<long>(std::count(log.text.begin(), log.text.end(), '\n')), next) << when;
    }

    static inline const std::string kId = std::string(32, 'e');
    static inline int made = 0;
    testing::TempDir dir;
    std::string schema;
    std::unique_ptr<Store> a, b;
};

TEST_P(TwoStores, ARoundVerifiedByTwoServersAtOnceIsPlacedOnce) {
    for (int round = 1; round <= 20; ++round) {
        const auto [x, y] = atOnce([&](Store& s) { return s.placeRecord({0, kId, round, "TWO", true, 100, 0, kStart, 9, false}); });
        EXPECT_NE(x.has_value(), y.has_value()) << "round " << round;
    }
    EXPECT_EQ(a->recordsOf(kId).size(), 20u);
}

TEST_P(TwoStores, BatchesOfOneSessionAtOnceAreTakenInTurn) {
    for (int i = 0; i < 30; ++i) {
        const long held = a->session(kId)->lines;
        // The same place, two lengths: one is taken, the other skipped or cut to its new lines.
        atOnce([&](Store& s) {
            const std::vector<std::string_view> lines(&s == a.get() ? 1 : 2, "tick");
            return s.appendLines(kId, held, lines, kStart, kMostSessionBytes).lines;
        });
        expectWhole("after two batches at once");
    }
}

TEST_P(TwoStores, ABatchCutShortBetweenItsWritesLeavesNothingOfIt) {
    a->appendLines(kId, 0, {"bopatron-demo 1", "seed 1"}, kStart, kMostSessionBytes);
    // The session's count cannot be written: the batch's lines, written first, must go too.
    if (GetParam() == "sqlite") {
        sql("CREATE TRIGGER cut BEFORE UPDATE ON sessions BEGIN SELECT RAISE(FAIL, 'cut short'); END");
    } else {
        sql("CREATE FUNCTION cut() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION 'cut short'; END $$ LANGUAGE plpgsql;"
            "CREATE TRIGGER cut BEFORE UPDATE ON sessions FOR EACH ROW EXECUTE FUNCTION cut()");
    }
    EXPECT_ANY_THROW(a->appendLines(kId, 2, {"click", "tick"}, kStart, kMostSessionBytes));
    sql("DROP TRIGGER cut" + std::string(GetParam() == "sqlite" ? "" : " ON sessions"));
    expectWhole("after a batch cut short");
    EXPECT_EQ(a->session(kId)->lines, 2);
    EXPECT_EQ(b->appendLines(kId, 2, {"click", "tick"}, kStart, kMostSessionBytes).lines, 4) << "sent again, it is taken";
}

TEST_P(TwoStores, APurgeWhileBatchesArriveHoldsNoneUpAndLosesNone) {
    const std::int64_t old = kStart - 8 * 86400000LL;
    for (int i = 0; i < 200; ++i) a->createSession({"0000" + std::to_string(1000000000000000000LL + i) + "0000000000", 1, old, old, 0, 0});
    std::latch go(2);
    auto purging = std::async(std::launch::async, [&] {
        go.arrive_and_wait();
        int purged = 0;
        for (int took = 1; took > 0; purged += took) took = b->purge(kStart - 7 * 86400000LL, 20);
        return purged;
    });
    go.arrive_and_wait();
    for (long line = 0; line < 100; ++line)
        ASSERT_EQ(a->appendLines(kId, line, {"tick"}, kStart, kMostSessionBytes).result, Append::Result::Appended) << line;
    EXPECT_EQ(purging.get(), 200);
    expectWhole("after a purge beside it");
}

INSTANTIATE_TEST_SUITE_P(Backends, TwoStores, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

TEST(PostgresStore, TwoServersStartedTogetherMigrateOnce) {
    if (testPostgres().empty()) GTEST_SKIP() << "no BOPATRON_TEST_POSTGRES";
    for (int i = 0; i < 5; ++i) {
        const std::string schema = "together_" + std::to_string(getpid()) + "_" + std::to_string(i);
        PGconn* admin = PQconnectdb(testPostgres().c_str());
        PQclear(PQexec(admin, ("CREATE SCHEMA " + schema).c_str()));
        PQfinish(admin);
        const std::string url = testPostgres() + "&options=-csearch_path%3D" + schema;
        std::latch go(2);
        const auto start = [&] {
            go.arrive_and_wait();
            return PostgresStore(url).version();
        };
        auto first = std::async(std::launch::async, start), second = std::async(std::launch::async, start);
        EXPECT_EQ(first.get(), 6);
        EXPECT_EQ(second.get(), 6);
    }
}

// The one rule every backend appends by.
TEST(Stores, ABatchIsTakenOnceInOrderAndWithinItsSession) {
    const std::vector<std::string_view> three = {"a", "b", "c"};
    struct Case {
        long held;
        std::int64_t bytes;
        long from;
        Append::Result result;
        long lines;
        std::string text;
    };
    const Case cases[] = {
        {5, 10, 5, Append::Result::Appended, 8, "a\nb\nc\n"},
        {5, 10, 6, Append::Result::Gap, 5, ""},             // one line past the end
        {5, 10, 3, Append::Result::Appended, 6, "c\n"},     // overlapping: the new line only
        {5, 10, 2, Append::Result::Duplicate, 5, ""},       // all held already
        {5, 94, 5, Append::Result::Appended, 8, "a\nb\nc\n"},  // exactly the most a session holds
        {5, 95, 5, Append::Result::TooLarge, 5, ""},        // one byte more
    };
    for (const Case& c : cases) {
        const Append got = planAppend(c.held, c.bytes, c.from, three, 100);
        EXPECT_EQ(std::tuple(got.result, got.lines, got.text, got.count),
                  std::tuple(c.result, c.lines, c.text, c.result == Append::Result::Appended ? static_cast<long>(std::count(c.text.begin(), c.text.end(), '\n')) : 0L))
            << c.held << " held, from " << c.from;
    }
}

// Both backends' migrations make the same tables with the same columns.
TEST(Stores, BothBackendsMigrateToTheSameSchema) {
    if (testPostgres().empty()) GTEST_SKIP() << "no BOPATRON_TEST_POSTGRES";
    testing::TempDir dir;
    { SqliteStore made(dir.filePath("world.db")); }
    const std::string schema = "same_" + std::to_string(getpid());
    PGconn* db = PQconnectdb(testPostgres().c_str());
    PQclear(PQexec(db, ("CREATE SCHEMA " + schema).c_str()));
    { PostgresStore made(testPostgres() + "&options=-csearch_path%3D" + schema); }
    sqlite3* file = nullptr;
    sqlite3_open(dir.filePath("world.db").c_str(), &file);
    for (const char* table : {"sessions", "batches", "records", "round_values", "verdicts", "schema_version"}) {
        std::vector<std::string> lite, postgres;
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(file, ("SELECT name FROM pragma_table_info('" + std::string(table) + "')").c_str(), -1, &s, nullptr);
        while (sqlite3_step(s) == SQLITE_ROW) lite.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
        PGresult* r = PQexec(db, ("SELECT column_name FROM information_schema.columns WHERE table_schema = '" + schema +
                                  "' AND table_name = '" + table + "' ORDER BY ordinal_position").c_str());
        for (int i = 0; i < PQntuples(r); ++i) postgres.emplace_back(PQgetvalue(r, i, 0));
        PQclear(r);
        EXPECT_FALSE(lite.empty()) << table;
        EXPECT_EQ(lite, postgres) << table;
    }
    sqlite3_close(file);
    PQfinish(db);
}

// Each backend migrates an empty database once: opened again, and by a second server,
// it finds the schema made and keeps what it holds.
TEST(Stores, EachBackendMigratesAnEmptyDatabaseOnceAndKeepsWhatItHolds) {
    const auto check = [](const auto& open) {
        {
            auto store = open();
            EXPECT_EQ(store.version(), 6);
            store.createSession({std::string(32, 'a'), 18446744073709551615u, 5, 5, 0, 0});
            store.appendLines(std::string(32, 'a'), 0, {"bopatron-demo 1", "seed 18446744073709551615"}, 7, kMostSessionBytes);
            EXPECT_EQ(store.placeRecord({0, std::string(32, 'a'), 1, "ACE", true, 1488, 3, 9, 2, false, "", ""}), 1);
        }
        auto again = open(), other = open();
        EXPECT_EQ(again.version(), 6);
        const SessionLog log = other.log(std::string(32, 'a'));
        EXPECT_EQ(std::tuple(log.seed, log.createdMs, log.text),
                  std::tuple(18446744073709551615u, 5, std::string("bopatron-demo 1\nseed 18446744073709551615\n")));
        EXPECT_EQ(again.placeRecord({0, std::string(32, 'a'), 1, "TWO", true, 1488, 3, 9, 2, false, "", ""}), std::nullopt)
            << "a round placed twice";
    };
    testing::TempDir dir;
    check([&] { return SqliteStore(dir.filePath("world.db")); });
    EXPECT_THROW(SqliteStore(dir.filePath("no/such/folder/world.db")), StoreUnavailable);
    if (testPostgres().empty()) return;  // SQLite alone
    const std::string schema = "migrated_" + std::to_string(getpid());
    PGconn* admin = PQconnectdb(testPostgres().c_str());
    PQclear(PQexec(admin, ("CREATE SCHEMA " + schema).c_str()));
    PQfinish(admin);
    check([&] { return PostgresStore(testPostgres() + "&options=-csearch_path%3D" + schema); });
    EXPECT_THROW(PostgresStore("postgresql:///postgres?host=/nonexistent"), StoreUnavailable);
}

}  // namespace
}  // namespace bopatron::server
