// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The world table: rounds of the golden demos and of edited copies verified
// as an honest client would have streamed them, and the protocol over a
// database in memory with a clock of the test's own. Every expected score,
// initials and line is read off the demo files, never worked out here.
#include "demo/demo_file.h"
#include "headless/png_pictures.h"
#include "runtime/files.h"
#include "server/api.h"
#include "server/postgres_store.h"
#include "server/sqlite_store.h"
#include "server/verify.h"
#include "tests/fixture.h"

#include <libpq-fe.h>
#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <regex>

#include <unistd.h>

namespace bopatron::server {
namespace {

using nlohmann::json;

constexpr std::int64_t kStart = 1796713200000;  // 2026-12-08T07:00:00Z, when each session begins

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

// The batches an honest client sends: about once a second (every 50 ticks),
// at once after a round's first and last ticks, and the rest of a round's end
// (the table, the initials, the closing checkpoint) three seconds later, once
// the initials are typed. Tick n arrives lead + n * msPerTick after the start.
struct Sent {
    std::vector<std::string> lines;
    long first = 0;
    std::int64_t arrivedMs = 0;
};
std::vector<Sent> honestBatches(const std::string& text, double msPerTick = 20, std::int64_t lead = 1500) {
    std::vector<Sent> batches(1);
    long ticks = 0, roundTicks = 0, line = 0;
    bool typing = false;
    const auto close = [&](std::int64_t arrived) {
        batches.back().arrivedMs = arrived;
        batches.push_back({{}, line, 0});
    };
    const auto now = [&] { return kStart + lead + static_cast<std::int64_t>(ticks * msPerTick) + 3; };
    for (const std::string& l : linesOf(text)) {
        if (l == "tick" && typing) close(now() + 3000), typing = false;
        batches.back().lines.push_back(l);
        ++line;
        if (typing && l.rfind("checkpoint ", 0) == 0) close(now() + 3000), typing = false;
        if (l == "click") roundTicks = 0;
        if (l != "tick") continue;
        ++ticks;
        if (++roundTicks == 1 || ticks % 50 == 0) close(now());
        if (roundTicks == 1000) close(now()), typing = true;
    }
    close(now() + 3000);
    batches.pop_back();
    std::erase_if(batches, [](const Sent& b) { return b.lines.empty(); });
    return batches;
}

SessionLog logOf(const std::string& text, std::uint64_t seed, const std::vector<Sent>& batches) {
    SessionLog log{seed, kStart, text, {}};
    for (const Sent& b : batches) log.batches.push_back({b.first, static_cast<long>(b.lines.size()), b.arrivedMs});
    return log;
}

const Replayer& replayer() {
    static const Replayer r = loadReplayer(BOPATRON_PROGRAM_DIR, headless::decodePng);
    return r;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(Verification, RoundsOfTheGoldenDemosAndEditedCopies) {
    const std::string two = golden("two-rounds.dem"), world = golden("world-rounds.dem"), hard = golden("hard-rounds.dem");
    struct Case {
        const char* what;
        std::string text;
        int round;
        std::string code;
        double msPerTick = 20;
        std::int64_t lead = 1500;
        std::uint64_t seed = 0;  // 0: the demo's own
    };
    const Case cases[] = {
        {"two-rounds, round 1", two, 1, ""},
        {"two-rounds, round 2, not placed locally", two, 2, ""},
        {"world-rounds, round 1, ending off the 100-tick grid", world, 1, ""},
        {"world-rounds, round 2", world, 2, ""},
        {"a round at 21.5 ms a tick", two, 1, "", 21.5},
        {"a recording without the checkpoint after its round", hard, 3, "incomplete"},
        {"a round that has not been played", world, 3, "incomplete"},
        {"a round whose closing checkpoint has not arrived", replaced(two, "checkpoint 1000 1239 66d81d560eba655f\n", ""), 1, "incomplete"},
        {"a seed the server did not issue", two, 1, "seed", 20, 1500, 20261209},
        {"an edited checksum", replaced(two, "checkpoint 500 762 878c208353dc8c75", "checkpoint 500 762 878c208353dc8c76"), 1, "differs"},
        {"an edited score", replaced(two, "checkpoint 1000 1239 ", "checkpoint 1000 1339 "), 1, "differs"},
        {"a moved press", replaced(two, "down 1 0 217 130", "down 1 0 17 130"), 1, "differs"},
        {"an answer the game did not ask for", replaced(two, "move 0 0 40.5 22\nclick\n", "move 0 0 40.5 22\nanswer \"1\"\n"), 1, "differs"},
        {"a line that is no event", replaced(two, "tick\ntick\n", "tick\ntock\n"), 1, "malformed"},
        {"ticks faster than the clock", two, 1, "too-fast", 10},
        {"a round spread over 40 s", two, 1, "round-too-slow", 40},
        {"a round in 18 s, after a minute's wait", two, 1, "round-too-fast", 18, 60000},
    };
    for (const Case& c : cases) {
        const std::uint64_t seed = c.seed ? c.seed : std::stoull(linesOf(c.text)[1].substr(5));
        const Verdict v = verifyRound(logOf(c.text, seed, honestBatches(c.text, c.msPerTick, c.lead)), c.round, replayer());
        EXPECT_EQ(v.code, c.code) << c.what << ": " << v.message;
        EXPECT_EQ(v.message.empty(), c.code.empty()) << c.what;
    }
}

TEST(Verification, ScoreInitialsAndDifficultyComeFromTheReplayAtTheTableStep) {
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
    };
    for (const Case& c : cases) {
        const std::string text = golden(c.demo);
        const Verdict v = verifyRound(logOf(text, std::stoull(linesOf(text)[1].substr(5)), honestBatches(text)), c.round, replayer());
        ASSERT_TRUE(v.placed()) << c.demo << ": " << v.message;
        EXPECT_EQ(std::tuple(v.initials, v.difficulty, v.asked, v.lines), std::tuple(c.initials, c.difficulty, c.asked, c.lines))
            << c.demo << " round " << c.round;
        // A rat that gets back in the round's last tick costs its 20 points after the table step.
        if (c.asked) EXPECT_EQ(v.score, c.score) << c.demo;
        else EXPECT_TRUE(v.score >= c.score && (v.score - c.score) % 20 == 0) << c.demo << ": " << v.score;
    }
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

// The protocol on each backend; the clock is the test's.
class ApiTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgresql" && testPostgres().empty()) GTEST_SKIP() << "no BOPATRON_TEST_POSTGRES";
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
        store.createSession({id, std::stoull(linesOf(text)[1].substr(5)), kStart, kStart, 0, 0});
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
    // Streams the demo as an honest client; returns the answer to each claim
    // (sent with the batch that ends in a round's closing checkpoint).
    std::vector<json> stream(const std::string& id, const std::string& text, std::map<int, int> claims,
                             double msPerTick = 20) {
        std::vector<json> verdicts;
        int round = 0;
        for (const Sent& b : honestBatches(text, msPerTick)) {
            now = b.arrivedMs;
            std::string target = "/api/sessions/" + id + "/lines?from=" + std::to_string(b.first);
            const bool ends = b.lines.back().rfind("checkpoint ", 0) == 0 && b.lines.front() != "tick";  // after the initials
            if (ends && claims.count(++round)) target += "&round=" + std::to_string(round) + "&score=" + std::to_string(claims[round]);
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
    EXPECT_EQ(call("POST", "/api/sessions", "", "192.0.2.2").status, 200) << "another address";
    now += kSessionRefillMs;
    EXPECT_EQ(call("POST", "/api/sessions").status, 200) << "one more after 20 s";
    EXPECT_EQ(call("POST", "/api/sessions").status, 429);
}

TEST_P(ApiTest, StreamedRoundIsPlacedRankedAndCanBeWatched) {
    const std::string text = golden("two-rounds.dem");
    const std::string id = session(text);
    const auto verdicts = stream(id, text, {{1, 1239}});
    ASSERT_EQ(verdicts.size(), 1u);
    EXPECT_EQ(verdicts[0], json::parse(R"({"placed": true, "record": 1, "ranks": {"all": 1, "today": 1}})"));
    const json top = callJson("GET", "/api/top?board=today&n=5");
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0]["initials"], "Zo\xc3\xab");
    EXPECT_EQ(std::tuple(top[0]["rank"], top[0]["score"], top[0]["difficulty"], top[0]["record"]), std::tuple(1, 1239, 0, 1));
    EXPECT_TRUE(std::regex_match(top[0]["at"].get<std::string>(), std::regex("2026-12-08T07:00:2[0-9]Z")));
    EXPECT_EQ(callJson("GET", "/api/records/1")["score"], 1239);
    // The demo to watch: the session's lines through the round, closed by an end line.
    const std::vector<std::string> all = linesOf(text);
    std::string expected;
    for (std::size_t i = 0; i < 1163; ++i) expected += all[i] + "\n";
    EXPECT_EQ(call("GET", "/api/records/1/demo").body, expected + "end 1000 1239 66d81d560eba655f\n");
    EXPECT_THAT(logged, ::testing::Contains(::testing::HasSubstr("placed as record 1 with 1239")));
}

TEST_P(ApiTest, ClaimsAreCheckedAgainstTheReplayAndPlacedOnce) {
    const std::string text = golden("two-rounds.dem");
    EXPECT_EQ(stream(session(text, std::string(32, 'b')), text, {{1, 1300}})[0]["refused"], "score") << "an edited claim";
    const std::string id = session(text);
    const auto batches = honestBatches(text);
    std::size_t closing = 0;  // the batch that ends round 1
    while (batches[closing].lines.back() != "checkpoint 1000 1239 66d81d560eba655f") ++closing;
    for (std::size_t i = 0; i < closing; ++i) now = batches[i].arrivedMs, call("POST", "/api/sessions/" + id + "/lines?from=" + std::to_string(batches[i].first), body(batches[i]));
    now = batches[closing].arrivedMs;
    const std::string claim = "/api/sessions/" + id + "/lines?from=" + std::to_string(batches[closing].first) + "&round=1&score=1239";
    json first = json::parse(call("POST", claim, body(batches[closing])).body);
    EXPECT_EQ(first["placed"], true);
    EXPECT_EQ(json::parse(call("POST", claim, body(batches[closing])).body), first) << "the same batch again, the same verdict";
    const Sent& next = batches[closing + 1];
    const json again = callJson("POST", "/api/sessions/" + id + "/lines?from=" + std::to_string(next.first) + "&round=1&score=1239", body(next));
    EXPECT_EQ(again["refused"], "again");
    EXPECT_EQ(callJson("GET", "/api/top").size(), 1u);
}

TEST_P(ApiTest, ClaimThatPlacesOnNoBoardIsAnsweredWithoutAReplay) {
    for (int i = 0; i < 5; ++i) place(2000, kStart, "TOP");
    const std::string text = golden("two-rounds.dem");
    EXPECT_EQ(stream(session(text), text, {{1, 1239}})[0], json::parse(R"({"placed": false})"));
    EXPECT_THAT(logged, ::testing::Contains(::testing::HasSubstr("1239 places on no board")));
    EXPECT_THAT(logged, ::testing::Not(::testing::Contains(::testing::HasSubstr("refused"))));
}

TEST_P(ApiTest, BatchesAreTakenOnceInOrderAndBounded) {
    const std::string id = session(golden("two-rounds.dem"));
    const std::string lines = "/api/sessions/" + id + "/lines?from=";
    const std::string start = "bopatron-demo 1\nseed 20261208\n";
    const std::pair<Response, std::pair<int, std::string>> cases[] = {
        {call("POST", lines + "0", start), {200, R"({"lines":2})"}},
        {call("POST", lines + "0", start), {200, R"({"lines":2})"}},  // sent twice, taken once
        {call("POST", lines + "1", "seed 20261208\nclick\n"), {200, R"({"lines":3})"}},  // overlapping: the new line only
        {call("POST", lines + "5", "tick\n"), {409, R"({"error":"gap","expected":3,"message":"lines are missing: the next line expected is 3"})"}},
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
    const std::string bulk = [] { std::string b; while (b.size() + 5 <= kMostBatchBytes) b += "tick\n"; return b; }();
    int status = 200;
    for (long from = 3; status == 200; from += static_cast<long>(bulk.size() / 5)) status = call("POST", lines + std::to_string(from), bulk).status;
    EXPECT_EQ(status, 413) << "a session holds at most 8 MB";
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

INSTANTIATE_TEST_SUITE_P(Backends, ApiTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

TEST(SqliteStore, MigratesAnEmptyFileAndKeepsWhatItHolds) {
    testing::TempDir dir;
    const std::string path = dir.filePath("world.db");
    {
        SqliteStore store(path);
        EXPECT_EQ(store.version(), 1);
        store.createSession({std::string(32, 'a'), 18446744073709551615u, 5, 5, 0, 0});
        store.appendLines(std::string(32, 'a'), 0, {"bopatron-demo 1", "seed 18446744073709551615"}, 7, kMostSessionBytes);
    }
    SqliteStore again(path);
    EXPECT_EQ(again.version(), 1);
    const SessionLog log = again.log(std::string(32, 'a'));
    EXPECT_EQ(std::tuple(log.seed, log.createdMs, log.text), std::tuple(18446744073709551615u, 5, std::string("bopatron-demo 1\nseed 18446744073709551615\n")));
    EXPECT_THROW(SqliteStore(dir.filePath("no/such/folder/world.db")), StoreUnavailable);
}

TEST(PostgresStore, MigratesAnEmptyDatabaseOnceAndKeepsWhatItHolds) {
    if (testPostgres().empty()) GTEST_SKIP() << "no BOPATRON_TEST_POSTGRES";
    const std::string url = testPostgres() + "&options=-csearch_path%3Dmigrated_" + std::to_string(getpid());
    PGconn* admin = PQconnectdb(testPostgres().c_str());
    PQclear(PQexec(admin, ("CREATE SCHEMA migrated_" + std::to_string(getpid())).c_str()));
    PQfinish(admin);
    {
        PostgresStore store(url);
        EXPECT_EQ(store.version(), 1);
        store.createSession({std::string(32, 'a'), 18446744073709551615u, 5, 5, 0, 0});
        store.appendLines(std::string(32, 'a'), 0, {"bopatron-demo 1", "seed 18446744073709551615"}, 7, kMostSessionBytes);
        EXPECT_EQ(store.placeRecord({0, std::string(32, 'a'), 1, "ACE", true, 1488, 3, 9, 2, false}), 1);
    }
    // Opened again, and by a second server: the schema is found made, not made again.
    PostgresStore again(url), other(url);
    EXPECT_EQ(again.version(), 1);
    const SessionLog log = other.log(std::string(32, 'a'));
    EXPECT_EQ(std::tuple(log.seed, log.createdMs, log.text), std::tuple(18446744073709551615u, 5, std::string("bopatron-demo 1\nseed 18446744073709551615\n")));
    EXPECT_EQ(again.placeRecord({0, std::string(32, 'a'), 1, "TWO", true, 1488, 3, 9, 2, false}), std::nullopt) << "a round placed twice";
    EXPECT_THROW(PostgresStore("postgresql:///postgres?host=/nonexistent"), StoreUnavailable);
}

}  // namespace
}  // namespace bopatron::server
