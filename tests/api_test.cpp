// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The world table's protocol over each backend, with a clock of the test's
// own: sessions, round values, batches, claims and their answers, boards,
// records, initials, health, metrics and retention.
#include "server/api.h"
#include "server/command_line.h"
#include "tests/world_fixture.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <tuple>

#include <sys/wait.h>
#include <unistd.h>

namespace bopatron::server {
namespace {

using namespace testing_world;
using nlohmann::json;

// The protocol on each backend; the clock and the round values are the test's.
class ApiTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgresql" && testPostgres().empty()) GTEST_SKIP() << "no BOPATRON_TEST_POSTGRES";
        api.newValue = [this] { return next; };
        // The golden demos have one value a round: the table issues theirs as it issued
        // rounds before they had parts, with no secret (a test of the parts sets one).
        api.newSecret = [] { return std::string(); };
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
    EXPECT_THAT(call("GET", "/metrics").body, ::testing::HasSubstr("bopatron_limited_total{limit=\"sessions\"} 4\n"));
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

// A round's later parts come as its ticks reach the table, from any server: the second
// and third with its value, part k once the table holds the round's ticks up to 50(k - 3)
// (the parts' own lines among them).
// Each is HMAC-SHA256 of "bopatron round part K" keyed with the round's secret, its first
// 8 bytes (worked out with openssl dgst -sha256 -hmac).
TEST_P(ApiTest, ARoundsPartsComeAsTheTableHoldsItsTicks) {
    const std::string id = session(golden(kPerson));
    api.newSecret = [] { return std::string(64, 'a'); };
    const char* p[] = {"", "", "1738849062034294126", "667402956452102641", "5471002205199172678", "7414435030383542426"};
    next = 42;
    EXPECT_EQ(callJson("POST", "/api/sessions/" + id + "/rounds"), json({{"value", "42"}, {"parts", {p[2], p[3]}}}));
    Api other{store, replayer(), {[this] { return now; }}, [](const std::string&) {}};
    const auto ticks = [](int n) { std::string t; while (n-- > 0) t += "tick\n"; return t; };
    const std::string round = "click\nanswer \"0\"\nvalue ";
    const std::string head = "bopatron-demo 1\n" + linesOf(golden(kPerson))[1] + "\n" + round + "42\n";
    struct Step {
        Api* server;
        std::string query;
        std::string body;
        json parts;  // null: none asked
    };
    const Step steps[] = {
        {&api, "from=0&part=4", head + ticks(49), {{"value", "42"}, {"from", 4}, {"values", json::array()}}},
        {&api, "from=54&part=4", ticks(1), {{"value", "42"}, {"from", 4}, {"values", {p[4]}}}},
        {&api, "from=55&part=5", "", {{"value", "42"}, {"from", 5}, {"values", json::array()}}},
        {&api, "from=55", "value " + std::string(p[2]) + "\n" + ticks(50), nullptr},
        {&other, "from=106&part=4", "", {{"value", "42"}, {"from", 4}, {"values", {p[4], p[5]}}}},
        {&api, "from=106&part=5", "", {{"value", "42"}, {"from", 5}, {"values", {p[5]}}}},
    };
    for (const Step& s : steps) {
        const Response r = s.server->handle({"POST", "/api/sessions/" + id + "/lines?" + s.query, s.body, "192.0.2.1"});
        ASSERT_EQ(r.status, 200) << s.query << ": " << r.body;
        EXPECT_EQ(json::parse(r.body).value("parts", json()), s.parts) << s.query;
    }
    // The next round's value issued by the other server: this one reads the session again at its value line.
    other.newValue = api.newValue;
    other.newSecret = api.newSecret;
    next = 43;
    ASSERT_EQ(other.handle({"POST", "/api/sessions/" + id + "/rounds", "", "192.0.2.1"}).status, 200);
    EXPECT_EQ(callJson("POST", "/api/sessions/" + id + "/lines?from=106&part=4", round + "43\n" + ticks(50))["parts"],
              json({{"value", "43"}, {"from", 4}, {"values", {p[4]}}}));
    for (const char* bad : {"part=1", "part=21", "part=x", "part="})
        EXPECT_EQ(call("POST", "/api/sessions/" + id + "/lines?from=159&" + bad).status, 400) << bad;
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
    // A claim of a round not yet played decides nothing, and frees no place.
    const Response early = call("POST", "/api/sessions/" + std::string(32, 'b') + "/lines?from=0&round=1&score=0", "bopatron-demo 1\n");
    ASSERT_EQ(json::parse(early.body)["refused"], "incomplete") << early.body;
    EXPECT_EQ(ask('e'), 429) << "a claim that decided nothing freed its round's place";
    // A claim decided (here refused: the lines are another session's, on values not issued to it).
    const Response claimed = call("POST", "/api/sessions/" + std::string(32, 'b') + "/lines?from=0&round=1&score=0", golden(kValues));
    ASSERT_EQ(json::parse(claimed.body)["refused"], "value") << claimed.body;
    EXPECT_EQ(ask('e'), 200) << "a claimed round is no longer in play";
    EXPECT_EQ(ask('a', "192.0.2.9"), 200);
    now += 29999;  // 30 s, and not the constant, which a fault would move with it
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

// The table places a round at the score its end showed, which a rat that gets
// back in the last tick does not lower; the closing score is no claim of it.
TEST_P(ApiTest, ARoundIsPlacedAtTheScoreItsEndShowed) {
    const std::string text = golden(kSunk);
    EXPECT_EQ(stream(session(text), text, {{1, 1}})[0]["refused"], "score");
    EXPECT_EQ(stream(session(text, std::string(32, 'c')), text, {{1, 21}})[0]["placed"], true);
    EXPECT_EQ(callJson("GET", "/api/records/1")["score"], 21);
    const std::string demo = call("GET", "/api/records/1/demo").body;
    EXPECT_EQ(demo.substr(demo.rfind("end ")), "end 1000 1 23236c589a13ed2d\n");
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
    // Every press and every rat of the round beside the summary.
    EXPECT_EQ(record["presses"].size(), record["reactions"]["presses"]);
    EXPECT_EQ(record["rats"].size(), record["reactions"]["ratsShown"]);
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
    EXPECT_TRUE(store.approveRecord(1));
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
    for (const int score : {-17, -27}) {
        now += kClaimRefillMs;
        json again = json::parse(claimAgain(refused, 1, score).body);
        again.erase("lines");
        EXPECT_EQ(again, first[0]) << "a claim sent again gets the verdict given";
    }
    EXPECT_EQ(api.replays(), 1) << "claims sent again, no replay more";
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
    // The person plays 100 rounds of one session through record_demos --plan, each round's
    // value the next of 1, 2, ... (no parts), each batch answered as taken.
    int to[2], from[2];
    ASSERT_EQ(pipe(to), 0);
    ASSERT_EQ(pipe(from), 0);
    const pid_t planner = fork();
    if (planner == 0) {
        dup2(to[0], 0);
        dup2(from[1], 1);
        for (const int fd : {to[0], to[1], from[0], from[1]}) close(fd);
        execl(BOPATRON_RECORD_DEMOS, BOPATRON_RECORD_DEMOS, BOPATRON_PROGRAM_DIR, "--plan", nullptr);
        _exit(127);
    }
    close(to[0]);
    close(from[1]);
    FILE* ask = fdopen(to[1], "w");
    FILE* told = fdopen(from[0], "r");
    const std::string id = std::string(32, 'a');
    std::fprintf(ask, "%s 20261208 %d\n", id.c_str(), kMostRounds);
    std::fflush(ask);
    std::string text;
    std::map<int, int> scores;
    int value = 0;
    char* line = nullptr;
    std::size_t size = 0;
    while (getline(&line, &size, told) > 0) {
        const json r = json::parse(line);  // a request, or the session's end
        if (r.contains("end")) break;
        const std::string path = r["path"];
        const bool valueAsk = path.ends_with("/rounds");
        std::fprintf(ask, "%s 200 %s\n", id.c_str(), valueAsk ? ("{\"value\":\"" + std::to_string(++value) + "\"}").c_str() : "{}");
        std::fflush(ask);
        text += r["body"].get<std::string>();
        std::smatch claim;
        if (std::regex_search(path, claim, std::regex("round=(\\d+)&score=(-?\\d+)"))) scores[std::stoi(claim[1])] = std::stoi(claim[2]);
    }
    std::free(line);
    std::fclose(ask);
    std::fclose(told);
    waitpid(planner, nullptr, 0);
    ASSERT_EQ(scores.size(), static_cast<std::size_t>(kMostRounds));
    session(text, id);
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
        {call("POST", lines + "2", "click\n"), {200, R"({"lines":3})"}},
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
    api.judge().replay = [](const std::string&, int, ReplayState&) -> RoundFacts { throw std::runtime_error("the replay broke"); };
    const Response failed = claimAgain(id, 1, -27);
    EXPECT_EQ(std::tuple(failed.status, json::parse(failed.body)["error"]), std::tuple(500, "internal"));
    EXPECT_THAT(logged, ::testing::Contains("internal error in claim: the replay broke"));
    api.judge().replay = [](const std::string& t, int round, ReplayState& state) { return replayRound(t, round, replayer(), state); };
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

// Retention as the service's default keeps it (7 days): a session idle past its time
// goes unless it holds a record, which keeps the lines its demo needs and nothing after them.
TEST_P(ApiTest, RetentionDeletesIdleSessionsButWhatRecordsNeed) {
    const CommandLine line = readCommandLine({"--keep-sessions=7"});
    const std::int64_t old = kStart - 7 * 86400000LL - 1, keepFrom = line.retention.idleBeforeMs(kStart);
    const std::string idle(32, '1'), recorded(32, '2'), recent(32, '3');
    for (const std::string& id : {idle, recorded, recent}) {
        const std::int64_t at = id == recent ? kStart - 86400000 : old;  // recent: a day idle
        store.createSession({id, 1, at, at, 0, 0});
        store.appendLines(id, 0, {"bopatron-demo 1", "seed 1", "click"}, at, kMostSessionBytes);
        store.appendLines(id, 3, {"tick", "tick"}, at, kMostSessionBytes);
        ASSERT_TRUE(store.issueValue(id, {5, at, ""}, kMostValues));
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

}  // namespace
}  // namespace bopatron::server
