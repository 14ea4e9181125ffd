// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/store.h"

#include <string>

namespace bopatron::server {

namespace {

// The schema, one migration per version, as PostgreSQL says it; SQLite says the
// same with its own names for the types (sqliteWords). A migration once shipped is never edited.
constexpr const char* kMigrations[] = {
    // 1: sessions, their batches of lines, the records.
    R"(CREATE TABLE sessions (
           id TEXT PRIMARY KEY, seed TEXT NOT NULL, created BIGINT NOT NULL, last BIGINT NOT NULL,
           lines BIGINT NOT NULL DEFAULT 0, bytes BIGINT NOT NULL DEFAULT 0);
       CREATE TABLE batches (
           session TEXT NOT NULL REFERENCES sessions (id), first BIGINT NOT NULL, count BIGINT NOT NULL,
           arrived BIGINT NOT NULL, text TEXT NOT NULL, PRIMARY KEY (session, first));
       CREATE TABLE records (
           id BIGSERIAL PRIMARY KEY, session TEXT NOT NULL REFERENCES sessions (id),
           round INTEGER NOT NULL, initials TEXT NOT NULL, initials_final BOOLEAN NOT NULL,
           score INTEGER NOT NULL, difficulty INTEGER NOT NULL, at BIGINT NOT NULL, lines BIGINT NOT NULL,
           removed BOOLEAN NOT NULL DEFAULT FALSE, UNIQUE (session, round));
       CREATE INDEX records_board ON records (removed, at, score);)",
    // 2: each round's value with when it was issued; the verdict given on each claimed round.
    R"(CREATE TABLE round_values (
           session TEXT NOT NULL REFERENCES sessions (id), value TEXT NOT NULL, issued BIGINT NOT NULL,
           PRIMARY KEY (session, value));
       CREATE TABLE verdicts (
           session TEXT NOT NULL REFERENCES sessions (id), round INTEGER NOT NULL, record BIGINT NOT NULL,
           code TEXT NOT NULL, message TEXT NOT NULL, PRIMARY KEY (session, round));)",
    // 3: retention: sessions purged of what no record needs, found by their last line.
    R"(ALTER TABLE sessions ADD COLUMN purged BOOLEAN NOT NULL DEFAULT FALSE;
       CREATE INDEX sessions_idle ON sessions (purged, last);)",
    // 4: where each session's replay stopped, and how many rounds it had passed.
    R"(ALTER TABLE sessions ADD COLUMN replay TEXT NOT NULL DEFAULT '';
       ALTER TABLE sessions ADD COLUMN replay_rounds INTEGER NOT NULL DEFAULT 0;)",
    // 5: how fast each record's whacks came.
    R"(ALTER TABLE records ADD COLUMN reactions TEXT NOT NULL DEFAULT '';)",
    // 6: records held off the boards for an operator, with why, and those the operator approved.
    R"(ALTER TABLE records ADD COLUMN held TEXT NOT NULL DEFAULT '';
       ALTER TABLE records ADD COLUMN approved BOOLEAN NOT NULL DEFAULT FALSE;)",
    // 7: the secret each round's later parts are drawn from ('' for a round issued before).
    R"(ALTER TABLE round_values ADD COLUMN secret TEXT NOT NULL DEFAULT '';)",
    // 8: the limits on clients, where every server of a shared table keeps them: a token bucket
    // per key, and per address the sessions whose rounds are in play (a JSON object, session →
    // when its round started).
    R"(CREATE TABLE client_limits (key TEXT PRIMARY KEY, tokens DOUBLE PRECISION NOT NULL, at_ms BIGINT NOT NULL);
       CREATE TABLE rounds_in_play (address TEXT PRIMARY KEY, sessions TEXT NOT NULL, at_ms BIGINT NOT NULL);)",
};

std::string sqliteWords(std::string sql) {
    const std::pair<std::string_view, std::string_view> words[] = {
        {"BIGSERIAL PRIMARY KEY", "INTEGER PRIMARY KEY AUTOINCREMENT"}, {"BIGINT", "INTEGER"}, {"BOOLEAN", "INTEGER"},
        {"DEFAULT FALSE", "DEFAULT 0"}};
    for (const auto& [from, to] : words)
        for (std::size_t at; (at = sql.find(from)) != std::string::npos;) sql.replace(at, from.size(), to);
    return sql;
}

}  // namespace

std::vector<std::string> migrations(Dialect dialect) {
    std::vector<std::string> out;
    for (const char* sql : kMigrations) out.push_back(dialect == Dialect::Sqlite ? sqliteWords(sql) : sql);
    return out;
}


bool ranksAbove(const RecordRow& a, int score, std::int64_t atMs, long long id) {
    return a.score > score || (a.score == score && (a.atMs < atMs || (a.atMs == atMs && a.id < id)));
}

std::int64_t dayStartMs(std::int64_t ms) {
    constexpr std::int64_t kDay = 86400000;
    return ms - ((ms % kDay) + kDay) % kDay;
}

int PurgeStep::purge(std::int64_t idleBeforeMs, int most) {
    const std::vector<std::string> ids = idle(idleBeforeMs, most);
    for (const std::string& id : ids) {
        if (const auto lines = kept(id)) {
            // A record's demo is the session's lines through its round: later batches go.
            run("DELETE FROM batches WHERE session = $1 AND first >= $2", id, *lines);
            run("DELETE FROM round_values WHERE session = $1", id);
            // The replay's state points past the lines kept: a later replay starts again.
            run("UPDATE sessions SET purged = TRUE, replay = '', replay_rounds = 0 WHERE id = $1", id);
        } else {
            for (const char* sql : {"DELETE FROM batches WHERE session = $1", "DELETE FROM round_values WHERE session = $1",
                                    "DELETE FROM verdicts WHERE session = $1", "DELETE FROM sessions WHERE id = $1"})
                run(sql, id);
        }
    }
    return static_cast<int>(ids.size());
}

Append planAppend(long held, std::int64_t bytes, long from, const std::vector<std::string_view>& lines,
                  std::int64_t maxBytes) {
    if (from > held) return {Append::Result::Gap, held, {}, 0};
    const auto skip = static_cast<std::size_t>(held - from);
    if (skip >= lines.size()) return {Append::Result::Duplicate, held, {}, 0};
    Append plan{Append::Result::Appended, held, {}, static_cast<long>(lines.size() - skip)};
    for (std::size_t i = skip; i < lines.size(); ++i) {
        plan.text += lines[i];
        plan.text += '\n';
    }
    if (bytes + static_cast<std::int64_t>(plan.text.size()) > maxBytes) return {Append::Result::TooLarge, held, {}, 0};
    plan.lines = held + plan.count;
    return plan;
}

}  // namespace bopatron::server
