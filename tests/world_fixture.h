// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// What the world table's tests share: the golden demos as an honest client
// would have streamed them (tests/stream_fixture.h), the pictures a replay
// draws with, and an empty store of each backend. Every expected score,
// initials and line is read off the demo files, never worked out here.
#include "image/png_decoder.h"
#include "server/postgres_store.h"
#include "server/replay.h"
#include "server/sqlite_store.h"
#include "tests/stream_fixture.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace bopatron::server::testing_world {

inline SessionLog logOf(const std::string& text, std::uint64_t seed, const Stream& stream) {
    SessionLog log{seed, kStart, text, {}, stream.values, {}};
    for (const Sent& b : stream.batches) log.batches.push_back({b.first, static_cast<long>(b.lines.size()), b.arrivedMs});
    return log;
}

inline std::uint64_t seedOf(const std::string& text) { return std::stoull(linesOf(text)[1].substr(5)); }

inline const Replayer& replayer() {
    static const Replayer r = loadReplayer(BOPATRON_PROGRAM_DIR, image::decodePng);
    return r;
}

// value-rounds.dem: "New Game" pressed mid-round, then round 1 (placed with
// VAL, 1044) and round 2 (135, no box), each on a value of the table's.
inline constexpr char kValues[] = "value-rounds.dem";
// person-rounds.dem: the same shape played by the model of a person, whose
// rounds the table places: round 1 (placed with PER, -27), round 2 (-443, no box).
inline constexpr char kPerson[] = "person-rounds.dem";
// One round at 0 whose last tick, after the table took 21, lets a rat back in: it closes at 1.
inline constexpr char kSunk[] = "sunk-in-last-tick.dem";

// The PostgreSQL the test run started (tests/server/postgres.sh), or "".
inline std::string testPostgres() {
    const char* url = std::getenv("BOPATRON_TEST_POSTGRES");
    return url ? url : "";
}

// A store of the backend named, empty: SQLite in memory, or a schema of its
// own in the test run's PostgreSQL (a memory SQLite when there is none; the test is skipped).
inline std::unique_ptr<Store> emptyStore(const std::string& backend) {
    if (backend != "postgresql" || testPostgres().empty()) return std::make_unique<SqliteStore>(":memory:");
    static int made = 0;
    const std::string schema = "test_" + std::to_string(getpid()) + "_" + std::to_string(++made);
    PGconn* admin = PQconnectdb(testPostgres().c_str());
    PQclear(PQexec(admin, ("CREATE SCHEMA " + schema).c_str()));
    PQfinish(admin);
    return std::make_unique<PostgresStore>(testPostgres() + "&options=-csearch_path%3D" + schema);
}

}  // namespace bopatron::server::testing_world
