// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// Storage of the world table on each backend: what a batch appends, two
// servers on one database at once, migrations, the boards' filter, where a
// replay stopped, and backups.
#include "server/postgres_store.h"
#include "server/sqlite_store.h"
#include "tests/fixture.h"
#include "tests/world_fixture.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <latch>
#include <tuple>

namespace bopatron::server {
namespace {

using namespace testing_world;
constexpr std::int64_t kMostSessionBytes = 8 << 20;

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

// A client's limits on two servers of one PostgreSQL are the table's, at once and after a
// restart: eight takes from a bucket of five at the same moment, half on each server, take
// five; four rounds in play from an address over both leave no fifth on either, nor on a
// server started anew, until one is claimed or its 30 s pass.
TEST_P(TwoStores, AClientsLimitsAreTheTablesNotAServers) {
    if (GetParam() == "sqlite") GTEST_SKIP() << "one server on SQLite keeps its limits in memory";
    std::latch go(8);
    std::vector<std::future<bool>> takes;
    for (int i = 0; i < 8; ++i)
        takes.push_back(std::async(std::launch::async, [&, i] {
            go.arrive_and_wait();
            return (i % 2 ? *a : *b).limits().take("address 192.0.2.1", 5, 1000, kStart);
        }));
    EXPECT_EQ(std::count_if(takes.begin(), takes.end(), [](auto& t) { return t.get(); }), 5);
    EXPECT_FALSE(a->limits().take("address 192.0.2.1", 5, 1000, kStart + 999));
    EXPECT_TRUE(b->limits().take("address 192.0.2.1", 5, 1000, kStart + 1000)) << "one token a second";
    const auto start = [](Store& s, char session, std::int64_t at) {
        return s.limits().startRound("192.0.2.1", std::string(32, session), 4, 30000, at);
    };
    for (const char s : {'a', 'b', 'c', 'd'}) EXPECT_TRUE(start(s % 2 ? *a : *b, s, kStart)) << s;
    EXPECT_FALSE(start(*a, 'e', kStart + 1));
    PostgresStore restarted(url());
    EXPECT_FALSE(start(restarted, 'e', kStart + 2)) << "a restart forgot the rounds in play";
    EXPECT_TRUE(start(restarted, 'a', kStart + 2)) << "a session asking again replaces its own round";
    b->limits().roundClaimed("192.0.2.1", std::string(32, 'b'));
    EXPECT_TRUE(start(*a, 'e', kStart + 3)) << "a claimed round's place is free on every server";
    EXPECT_FALSE(start(restarted, 'f', kStart + 29999));
    EXPECT_TRUE(start(restarted, 'f', kStart + 30000)) << "the rounds started 30 s ago are no longer in play";
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
        EXPECT_EQ(first.get(), 8);
        EXPECT_EQ(second.get(), 8);
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

// Each backend migrates an empty database once: opened again, and by a second server,
// it finds the schema made and keeps what it holds.
TEST(Stores, EachBackendMigratesAnEmptyDatabaseOnceAndKeepsWhatItHolds) {
    const auto check = [](const auto& open) {
        {
            auto store = open();
            EXPECT_EQ(store.version(), 8);
            store.createSession({std::string(32, 'a'), 18446744073709551615u, 5, 5, 0, 0});
            store.issueValue(std::string(32, 'a'), {18446744073709551615u, 6, "a round's secret"}, 10);
            store.appendLines(std::string(32, 'a'), 0, {"bopatron-demo 1", "seed 18446744073709551615"}, 7, kMostSessionBytes);
            EXPECT_EQ(store.placeRecord({0, std::string(32, 'a'), 1, "ACE", true, 1488, 3, 9, 2, false, "", ""}), 1);
        }
        auto again = open(), other = open();
        EXPECT_EQ(again.version(), 8);
        const SessionLog log = other.log(std::string(32, 'a'));
        EXPECT_EQ(std::tuple(log.seed, log.createdMs, log.text),
                  std::tuple(18446744073709551615u, 5, std::string("bopatron-demo 1\nseed 18446744073709551615\n")));
        ASSERT_EQ(log.values.size(), 1u);
        EXPECT_EQ(std::tuple(log.values[0].value, log.values[0].issuedMs, log.values[0].secret),
                  std::tuple(18446744073709551615u, 6, "a round's secret"));
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

// Today's board is the UTC day of the table's clock: from midnight UTC, not the last
// 24 hours, and not the server's own midnight (here nine hours east of UTC).
TEST(Boards, TodayIsTheUtcDayWhereverTheServerIs) {
    const char* zone = std::getenv("TZ");
    const std::string saved = zone ? zone : "";
    setenv("TZ", "JST-9", 1);
    tzset();
    const std::int64_t midnight = 1796688000000, day = 86400000;  // 2026-12-08T00:00:00Z
    const std::pair<std::int64_t, std::int64_t> cases[] = {
        {midnight, midnight}, {midnight + 1, midnight}, {midnight + 23 * 3600000, midnight}, {midnight + day - 1, midnight},
        {midnight + day, midnight + day}, {midnight - 1, midnight - day}, {-1, -day}};
    for (const auto& [ms, start] : cases) EXPECT_EQ(dayStartMs(ms), start) << ms;
    saved.empty() ? unsetenv("TZ") : setenv("TZ", saved.c_str(), 1);
    tzset();
}

// One store of each backend.
class OneStore : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgresql" && testPostgres().empty()) GTEST_SKIP() << "no BOPATRON_TEST_POSTGRES";
        store.createSession({kId, 1, kStart, kStart, 0, 0});
    }
    static inline const std::string kId = std::string(32, 'a');
    std::unique_ptr<Store> owned = emptyStore(GetParam());
    Store& store = *owned;
};

// A record held for an operator, or removed, is on no board: it neither ranks nor fills a
// board, so a claim below it is still worth a replay.
TEST_P(OneStore, HeldAndRemovedRecordsAreOnNoBoard) {
    for (int round = 1; round <= 6; ++round)
        store.placeRecord({0, kId, round, "TOP", true, 2000, 3, kStart, 9, false, "", round <= 3 ? "too quick" : ""});
    EXPECT_TRUE(store.removeRecord(4));
    EXPECT_EQ(store.countAtLeast(0, 100), 2);
    EXPECT_EQ(store.top(0, 5).size(), 2u);
}

// Where a session's replay stopped only moves on: a replay that passed fewer rounds
// (another server's, slower) does not put it back.
TEST_P(OneStore, AReplayStateOnlyMovesOn) {
    store.keepReplay(kId, 3, "three");
    store.keepReplay(kId, 2, "two");
    EXPECT_EQ(store.log(kId).replay, "three");
    store.keepReplay(kId, 4, "four");
    EXPECT_EQ(store.log(kId).replay, "four");
}

INSTANTIATE_TEST_SUITE_P(Backends, OneStore, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

// A backup takes its name only once whole: one cut short (here by a limit on the size
// of files, as a full disk would) leaves the last backup as it was, and nothing beside it.
TEST(SqliteStore, ABackupCutShortLeavesTheLastOneWhole) {
    testing::TempDir dir;
    const std::string table = dir.filePath("world.db"), copy = dir.filePath("backup.db");
    const auto bytes = [&] { return runtime::readFile(copy, 1 << 24).text; };
    SqliteStore(table).createSession({std::string(32, 'a'), 1, kStart, kStart, 0, 0});
    ASSERT_EQ(SqliteStore::backup(table, copy), "");
    const std::string last = bytes();
    {
        SqliteStore store(table);
        for (int round = 1; round <= 50; ++round)
            store.placeRecord({0, std::string(32, 'a'), round, "NEW", true, 100, 3, kStart, 9, false, std::string(2000, 'x'), ""});
    }
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{}, limited{};
    getrlimit(RLIMIT_FSIZE, &saved);
    limited = saved;
    limited.rlim_cur = last.size() + 8192;
    setrlimit(RLIMIT_FSIZE, &limited);
    const std::string why = SqliteStore::backup(table, copy);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_NE(why, "");
    const std::string now = bytes();
    EXPECT_TRUE(now == last) << "the last backup is no longer whole: " << now.size() << " bytes, not " << last.size() << "; " << why;
    EXPECT_FALSE(std::filesystem::exists(copy + ".part"));
    ASSERT_EQ(SqliteStore::backup(table, copy), "");
    EXPECT_EQ(SqliteStore(copy).allRecords().size(), 50u);
}

}  // namespace
}  // namespace bopatron::server
