// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The world client's decisions, with no network: the rounds it reads off a
// demo's lines, what it sends and when as a golden demo is written at the
// game's pace, what each answer of the table means, and how a verdict reads.
// Expectations come from the demo files and the protocol's text.
#include "tests/stream_fixture.h"
#include "world/client.h"
#include "world/json.h"
#include "world/rounds.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace bopatron::world {
namespace {

using namespace server::testing_world;

const std::string kSession(32, 'a');

Client sessionClient() {
    Client client;
    client.sessionAnswered({200, R"({"session": ")" + kSession + R"(", "seed": "8675309"})"}, "the table");
    client.takeNotices();
    return client;
}

TEST(Rounds, AreReadOffTheLinesOfTheGoldenDemos) {
    // Lines count from 0; "New Game" mid-round abandons the attempt before it.
    struct Case {
        const char* demo;
        std::vector<std::tuple<long, long, long, long, long>> rounds;  // click, value, first tick, 1000th tick, close
    };
    const Case cases[] = {
        {"value-rounds.dem", {{451, 453, 454, 1582, 1587}, {1589, 1591, 1592, 2684, 2687}}},
        {"world-rounds.dem", {{366, -1, 368, 1549, 1554}, {1556, -1, 1558, 2663, 2666}}},
    };
    for (const Case& c : cases) {
        RoundTracker tracker;
        for (const std::string& line : linesOf(golden(c.demo))) tracker.add(line);
        std::vector<std::tuple<long, long, long, long, long>> got;
        for (const Round& r : tracker.ended()) got.emplace_back(r.clickLine, r.valueLine, r.firstTickLine, r.endLine, r.closeLine);
        EXPECT_EQ(got, c.rounds) << c.demo;
        EXPECT_EQ(tracker.ended().front().tickLines.size(), 1000u) << c.demo;
    }
}

TEST(WorldClient, SendsARoundsEdgesAtOnceTheRestOnceASecondAndClaimsEachRoundPlayedOnAValue) {
    // The scores the game placed at each round's table step.
    Pace pace;
    pace.tableScores = {1044, 135};
    const std::vector<Sent> sent = honestStream(golden("value-rounds.dem"), pace).batches;
    std::vector<std::string> all, claims;
    std::vector<long> ends;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        all.insert(all.end(), sent[i].lines.begin(), sent[i].lines.end());
        ends.push_back(sent[i].first + static_cast<long>(sent[i].lines.size()) - 1);
        EXPECT_EQ(sent[i].path.substr(0, 53), "sessions/" + kSession + "/lines?from=");
        // A claim goes with the batch that holds its round's closing checkpoint, as its last line.
        const std::string& last = sent[i].lines.back();
        if (sent[i].path.find("&round=") != std::string::npos) claims.push_back(sent[i].path.substr(sent[i].path.find("&round=")) + " " + last);
        // Once a second, but at once after a round's first and last ticks and its close.
        if (i > 0 && sent[i].sentMs - sent[i - 1].sentMs < 1000) {
            EXPECT_TRUE(last == "tick" || last.rfind("checkpoint ", 0) == 0) << i << ": " << last;
        }
    }
    EXPECT_TRUE(all == linesOf(golden("value-rounds.dem"))) << "every line once, in order";
    EXPECT_EQ(claims, (std::vector<std::string>{"&round=1&score=1044 checkpoint 1400 1044 2d69354175046360",
                                                "&round=2&score=135 checkpoint 2400 135 c141cbed7eb1250e"}));
    // The batches that end in each round's first tick, its 1000th and its close (lines 454, 1582, 1587; 1592, 2684, 2687).
    for (const long line : {454L, 1582L, 1587L, 1592L, 2684L, 2687L})
        EXPECT_NE(std::find(ends.begin(), ends.end(), line), ends.end()) << "no batch ends at line " << line;
}

TEST(WorldClient, ARoundWithoutAValueIsNeverClaimed) {
    const std::vector<Sent> sent = honestStream(golden("world-rounds.dem")).batches;
    for (const Sent& s : sent) EXPECT_EQ(s.path.find("&round="), std::string::npos) << s.path;
    EXPECT_FALSE(sent.empty());
}

TEST(WorldClient, EachAnswerMeansWhatTheProtocolSays) {
    struct Case {
        const char* what;
        std::vector<Answer> answers;   // to the batch, then to each one sent again
        std::vector<std::int64_t> waits;  // how long after each answer the next batch is due
        std::string from;              // where the last batch sent starts
        std::string notice;            // the last thing the player is told
    };
    const Case cases[] = {
        {"taken", {{200, R"({"lines": 3})"}}, {1000}, "from=3", ""},
        {"a gap", {{409, R"({"error": "gap", "expected": 1, "message": "lines are missing"})"}}, {0}, "from=1", ""},
        {"busy, then taken", {{503, R"({"error": "unavailable", "message": "try again later"})"}, {200, R"({"lines": 3})"}},
         {1000, 1000}, "from=3", "world table on"},
        {"unreachable, again and again",
         {{0, ""}, {0, ""}, {0, ""}, {0, ""}, {0, ""}, {0, ""}},
         {1000, 2000, 4000, 8000, 15000, 15000}, "from=0",
         "world: the table cannot be reached (no answer); trying again in 15 s"},
        {"too many", {{429, R"({"error": "too-many-claims", "message": "wait a few seconds"})"}}, {1000}, "from=0",
         "world: the table cannot be reached (wait a few seconds); trying again in 1 s"},
    };
    for (const Case& c : cases) {
        Client client = sessionClient();
        for (const char* line : {"bopatron-demo 1\n", "seed 8675309\n", "click\n"}) client.add(line);
        std::int64_t now = 0;
        auto request = client.due(now);
        ASSERT_TRUE(request) << c.what;
        std::string notice;
        for (std::size_t i = 0; i < c.answers.size(); ++i) {
            client.answered(c.answers[i], now);
            for (const Notice& n : client.takeNotices()) notice = n.line();
            client.add("move 0 0 1 1\n");  // something new to send
            EXPECT_FALSE(client.due(now + c.waits[i] - 1)) << c.what << ", answer " << i << ": due too early";
            now += c.waits[i];
            request = client.due(now);
            ASSERT_TRUE(request) << c.what << ", answer " << i << ": not due after " << c.waits[i] << " ms";
        }
        EXPECT_EQ(request->path.substr(request->path.find("from=")), c.from) << c.what;
        EXPECT_EQ(notice, c.notice) << c.what;
    }
    // Refused for good: the client stops, and says why.
    for (const int status : {400, 404, 413}) {
        Client client = sessionClient();
        client.add("bopatron-demo 1\n");
        ASSERT_TRUE(client.due(0));
        client.answered({status, R"({"error": "x", "message": "there is no such session"})"}, 0);
        EXPECT_EQ(client.takeNotices().back().line(), "world table off: there is no such session") << status;
        client.add("move 0 0 1 1\n");
        EXPECT_FALSE(client.due(100000)) << status;
        EXPECT_FALSE(client.on()) << status;
    }
}

// A round's value, or why it plays off the table: that round alone, for the next asks again.
TEST(WorldClient, ARoundsValueOrWhyItPlaysOffTheTable) {
    struct Case {
        Answer answer;
        std::optional<std::uint64_t> value;
        std::string notice;
    };
    const Case cases[] = {
        {{200, R"({"value": "18446744073709551615"})"}, 18446744073709551615u, ""},
        {{200, R"({"value": "18446744073709551616"})"}, std::nullopt, "world: round 1 is off the table: it answered 200"},
        {{200, R"({"value": 5})"}, std::nullopt, "world: round 1 is off the table: it answered 200"},
        {{0, ""}, std::nullopt, "world: round 1 is off the table: the table did not answer within 2 s"},
        {{503, R"({"error": "unavailable", "message": "try again later"})"}, std::nullopt,
         "world: round 1 is off the table: try again later"},
    };
    for (const Case& c : cases) {
        Client client = sessionClient();
        const auto ask = client.askValue();
        ASSERT_TRUE(ask);
        EXPECT_FALSE(client.tickMayRun()) << "the round's first tick waits for its value";
        EXPECT_EQ(client.valueAnswered(ask->ask, c.answer).value, c.value) << c.answer.body;
        EXPECT_TRUE(client.tickMayRun());
        const auto notices = client.takeNotices();
        EXPECT_EQ(notices.empty() ? "" : notices.front().line(), c.notice) << c.answer.body;
        EXPECT_TRUE(client.askValue()) << "the next round asks again: " << c.answer.body;
    }
    // A session that is gone: off.
    Client client = sessionClient();
    EXPECT_EQ(client.valueAnswered(client.askValue()->ask, {404, R"({"error": "no-session", "message": "there is no such session"})"}).value,
              std::nullopt);
    EXPECT_FALSE(client.on());
    EXPECT_FALSE(client.askValue());
}

// A round's randomness in parts: the client mixes in each part right before the first tick
// of its second, asks for those it lacks with its batches, and never waits: a part that has
// not come by then leaves the round off the table, unclaimed. The table here answers each
// batch at once with what the protocol lets it give (part k once it holds 50(k - 3) ticks),
// less the parts it withholds; a table that gives no parts with the value is asked none.
TEST(WorldClient, MixesEachPartAsItsSecondBeginsAndNeverWaitsForOne) {
    struct Case {
        const char* what;
        bool parts;            // the table gives parts
        int withheld;          // a part it never gives (0: none)
        std::vector<long> at;  // the ticks before which a part was mixed
        std::string notice;    // the last thing the player is told
        bool claimed;
    };
    const std::vector<long> every = {51, 101, 151, 201, 251, 301, 351, 401, 451, 501, 551, 601, 651, 701, 751, 801, 851, 901, 951};
    const Case cases[] = {
        {"every part in time", true, 0, every, "world: round 1: not in the top 5", true},
        {"part 4 withheld", true, 4, {51, 101}, "world: round 1 is off the table: its rats came late: part 4 of its randomness had not "
                                                "come when its second began", false},
        {"a table without parts", false, 0, {}, "world: round 1: not in the top 5", true},
    };
    const auto part = [](int k) { return std::to_string(1000 + k); };
    for (const Case& c : cases) {
        Client client = sessionClient();
        for (const char* line : {"bopatron-demo 1\n", "seed 8675309\n", "click\n"}) client.add(line);
        client.valueAnswered(client.askValue()->ask, {200, c.parts ? R"({"value": "42", "parts": ["1002", "1003"]})" : R"({"value": "42"})"});
        client.add("value 42\n");
        long ticks = 0;
        std::vector<long> mixed, seconds;  // the ticks before which a part was mixed; after which a batch went
        std::string notice, claim;
        for (std::int64_t now = 0; ticks < 1000; now += 20) {
            if (const auto p = client.partBeforeTick()) {
                EXPECT_EQ(std::to_string(*p), part(static_cast<int>(ticks / 50 + 1))) << c.what;
                client.add("value " + std::to_string(*p) + "\n");
                mixed.push_back(ticks + 1);
                EXPECT_FALSE(client.partBeforeTick()) << c.what << ": a part is given once";
            }
            client.add("tick\n");
            if (++ticks == 1000) client.add("checkpoint 1000 0 0\n");
            while (const auto r = client.due(now)) {
                if (ticks % 50 == 0) seconds.push_back(ticks);
                std::string given;
                const std::size_t asked = r->path.find("&part=");
                if (asked != std::string::npos) {
                    const int from = std::stoi(r->path.substr(asked + 6));
                    for (int k = from; k <= std::min<long>(20, 3 + ticks / 50) && k != c.withheld; ++k) given += (given.empty() ? "" : ", ") + ("\"" + part(k) + "\"");
                    given = R"(, "parts": {"value": "42", "from": )" + std::to_string(from) + R"(, "values": [)" + given + "]}";
                }
                if (r->path.find("&round=") != std::string::npos) claim = r->path.substr(r->path.find("&round="));
                client.answered({200, R"({"lines": 0)" + given + "}"}, now);
            }
            for (const Notice& n : client.takeNotices()) notice = n.line();
        }
        EXPECT_EQ(mixed, c.at) << c.what;
        // With parts, a batch goes at each second's end, for the part three seconds on.
        if (c.parts && !c.withheld) {
            EXPECT_EQ(seconds.size(), 20u) << c.what;
        }
        EXPECT_EQ(notice, c.notice) << c.what;
        EXPECT_EQ(!claim.empty(), c.claimed) << c.what << ": " << claim;
    }
}

// "New Game" pressed again while a value is on its way: its answer belongs to no round,
// and the round the press started waits for its own.
TEST(WorldClient, AValueForARoundPressedAwayIsStale) {
    Client client = sessionClient();
    const auto first = client.askValue();
    client.newGame();
    EXPECT_TRUE(client.tickMayRun());
    const auto second = client.askValue();
    EXPECT_TRUE(client.valueAnswered(first->ask, {200, R"({"value": "88"})"}).stale);
    EXPECT_FALSE(client.tickMayRun());
    EXPECT_EQ(client.valueAnswered(second->ask, {200, R"({"value": "77"})"}).value, 77u);
    EXPECT_TRUE(client.tickMayRun());
}

// A round the world's board took is asked its initials once, unless the game's own "Top 5"
// box asked them: value-rounds.dem's round 1 was typed there (VAL; or the box cancelled,
// which keeps XXX for good), its round 2 was not.
TEST(WorldClient, InitialsAreAskedOnceForARoundOnlyTheWorldsBoardTook) {
    const std::string typed = golden("value-rounds.dem");
    for (const std::string& text : {typed, replaced(typed, "answer \"VAL\"\n", "cancel\n")}) {
        Client client = honestStream(text, {}, [](const std::string& path) -> std::string {
            const std::size_t round = path.find("&round=");
            if (round == std::string::npos) return "{}";
            return R"({"placed": true, "record": )" + path.substr(round + 7, 1) + "}";
        }).client;
        EXPECT_EQ(client.initialsToAsk(), 2);
        EXPECT_EQ(client.initialsToAsk(), std::nullopt) << "once";
    }
}

TEST(WorldClient, InitialsAreSentAsJsonAndTheAnswerReadsAsThePlayerSaysIt) {
    const Request r = sessionClient().initialsRequest(2, "Zo\xc3\xab\"\\");
    EXPECT_EQ(std::tuple(r.method, r.path, r.body), std::tuple("POST", "records/2/initials", std::string("{\"initials\": \"Zo\xc3\xab\\\"\\\\\"}")));
    EXPECT_EQ(Client::initialsAnswered({200, "{}"}), "");
    EXPECT_EQ(Client::initialsAnswered({409, R"({"error": "initials-set", "message": "this record's initials are set already"})"}),
              "Your initials were not kept: this record's initials are set already.");
    EXPECT_EQ(Client::initialsAnswered({0, ""}), "Your initials were not kept: the world table did not answer.");
}

TEST(WorldClient, ASessionIsTakenOnlyWithAnIdAndASeed) {
    const std::pair<Answer, std::optional<std::uint64_t>> cases[] = {
        {{200, R"({"session": ")" + kSession + R"(", "seed": "42"})"}, 42},
        {{200, R"({"session": "ABC", "seed": "42"})"}, std::nullopt},
        {{200, R"({"session": ")" + kSession + R"(", "seed": "-1"})"}, std::nullopt},
        {{200, "not json"}, std::nullopt},
        {{429, R"({"error": "too-many-sessions", "message": "wait a minute"})"}, std::nullopt},
        {{0, ""}, std::nullopt},
    };
    for (const auto& [answer, seed] : cases) {
        Client client;
        EXPECT_EQ(client.sessionAnswered(answer, "the table"), seed) << answer.body;
        EXPECT_EQ(client.on(), seed.has_value()) << answer.body;
    }
    Client client;
    client.sessionAnswered({0, ""}, "http://127.0.0.1:9/");
    EXPECT_EQ(client.takeNotices().front().line(), "world table off: http://127.0.0.1:9/ did not answer");
}

TEST(WorldClient, VerdictsReadAsThePlayerSaysThem) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"placed": true, "record": 7, "ranks": {"all": 1, "today": 1}})", "1st today, 1st of all time"},
        {R"({"placed": true, "record": 7, "ranks": {"all": null, "today": 2}})", "2nd today"},
        {R"({"placed": true, "record": 7, "ranks": {"all": 3, "today": null}})", "3rd of all time"},
        {R"({"placed": true, "record": 7, "ranks": {"all": 11, "today": 4}})", "4th today, 11th of all time"},
        {R"({"placed": true, "record": 7, "ranks": {"all": 22, "today": 13}})", "13th today, 22nd of all time"},
        {R"({"placed": true, "record": 7, "ranks": {"all": 101, "today": 112}})", "112th today, 101st of all time"},
        {R"({"placed": false})", "not in the top 5"},
        {R"({"placed": false, "refused": "too-slow", "message": "the round came 3.2 s behind"})", "not placed: the round came 3.2 s behind"},
        {R"({"placed": false, "held": true, "record": 9, "message": "14 of 31 whacks came faster than a person reacts"})",
         "held for review: 14 of 31 whacks came faster than a person reacts"},
    };
    for (const auto& [answer, text] : cases) EXPECT_EQ(verdictText(Json::parse(answer)), text) << answer;
}

TEST(Json, ReadsWhatTheTableSendsAndNothingHalfRead) {
    const Json j = Json::parse(R"( {"a": "x\"\\\/\n\u00e9\ud83d\ude00", "n": -12.5e1, "b": [true, false, null, {}], "o": {"k": 3}} )");
    EXPECT_EQ(j["a"].text(), "x\"\\/\n\xc3\xa9\xf0\x9f\x98\x80");
    EXPECT_EQ(j["n"].number(), -125);
    EXPECT_EQ(j["o"]["k"].integer(), 3);
    EXPECT_EQ(j["n"].integer(), -125);
    EXPECT_FALSE(Json::parse(R"({"n": 1.5})")["n"].integer());
    EXPECT_TRUE(j.has("b"));
    EXPECT_EQ(j["missing"]["deeper"].type(), Json::Type::Null);
    for (const char* bad : {"", "{", R"({"a": 1,})", R"({"a" 1})", R"({"a": "\ud800"})", R"({"a": "x)", "[1 2]", "01x", "{} {}",
                            R"({"a": "\x"})", "nul", "-", "1.", "1e"})
        EXPECT_EQ(Json::parse(bad).type(), Json::Type::Null) << bad;
    std::string deep;
    for (int i = 0; i < 100; ++i) deep += "[";
    EXPECT_EQ(Json::parse(deep).type(), Json::Type::Null) << "far deeper than any answer";
}

}  // namespace
}  // namespace bopatron::world
