// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/sqlite_store.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <utility>

namespace bopatron::server {

namespace {

const std::vector<std::string> kMigrations = migrations(Dialect::Sqlite);
const int kVersion = static_cast<int>(kMigrations.size());

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    const int code = db ? sqlite3_extended_errcode(db) : SQLITE_CANTOPEN;
    std::string why = db ? sqlite3_errmsg(db) : "out of memory";
    if ((code & 0xff) == SQLITE_FULL) why = "the disk is full";
    if ((code & 0xff) == SQLITE_READONLY) why = "the database is read-only";
    throw StoreUnavailable(what + ": " + why);
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) fail(db, "the database cannot be read");
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement& bind(int i, std::int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    Statement& bind(int i, std::string_view v) {
        sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // Steps once: true while a row is there.
    bool step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        if (rc == SQLITE_CONSTRAINT) throw Constraint{};
        fail(db_, "the database cannot store this");
    }
    std::int64_t integer(int i) const { return sqlite3_column_int64(stmt_, i); }
    sqlite3_stmt* handle() const { return stmt_; }
    std::string text(int i) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i))) : std::string();
    }
    struct Constraint {};

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

void exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(db, "the database cannot be changed");
}

// One transaction: committed by commit(), rolled back otherwise.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) { exec(db, "BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (!done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit() {
        exec(db_, "COMMIT");
        done_ = true;
    }

private:
    sqlite3* db_;
    bool done_ = false;
};

constexpr const char* kRecordColumns =
    "id, session, round, initials, initials_final, score, difficulty, at, lines, removed, reactions, held, approved FROM records";

RecordRow recordOf(const Statement& s) {
    RecordRow r;
    r.id = s.integer(0);
    r.session = s.text(1);
    r.round = static_cast<int>(s.integer(2));
    r.initials = s.text(3);
    r.initialsFinal = s.integer(4) != 0;
    r.score = static_cast<int>(s.integer(5));
    r.difficulty = static_cast<int>(s.integer(6));
    r.atMs = s.integer(7);
    r.lines = static_cast<long>(s.integer(8));
    r.removed = s.integer(9) != 0;
    r.reactions = s.text(10);
    r.held = s.text(11);
    r.approved = s.integer(12) != 0;
    return r;
}

}  // namespace

SqliteStore::SqliteStore(const std::string& path) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw StoreUnavailable(path + ": cannot be opened: " + why);
    }
    sqlite3_busy_timeout(db_, 5000);
    try {
        // WAL, and every commit synced: an answered batch survives a crash or a power cut.
        // A database that cannot be written (read-only) still serves the boards.
        sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        exec(db_, "PRAGMA synchronous=FULL");
        exec(db_, "PRAGMA foreign_keys=ON");
        int at = 0;
        {
            Statement has(db_, "SELECT count(*) FROM sqlite_master WHERE name = 'schema_version'");
            if (has.step() && has.integer(0) == 1) {
                Statement read(db_, "SELECT version FROM schema_version");
                at = read.step() ? static_cast<int>(read.integer(0)) : 0;
            }
        }
        if (at > kVersion)
            throw StoreUnavailable(path + ": made by a newer bopatron-server (schema " + std::to_string(at) + ")");
        if (at < kVersion) {
            Transaction t(db_);
            exec(db_, "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
            for (int v = at; v < kVersion; ++v) exec(db_, kMigrations[v].c_str());
            exec(db_, "DELETE FROM schema_version");
            Statement(db_, "INSERT INTO schema_version VALUES (?)").bind(1, kVersion).step();
            t.commit();
        }
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

SqliteStore::~SqliteStore() { sqlite3_close(db_); }

std::string SqliteStore::backup(const std::string& from, const std::string& to) {
    const std::string part = to + ".part";
    sqlite3* source = nullptr;
    sqlite3* copy = nullptr;
    std::string why;
    if (sqlite3_open_v2(from.c_str(), &source, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        why = from + ": cannot be opened: " + sqlite3_errmsg(source);
    } else if (std::remove(part.c_str()), sqlite3_open(part.c_str(), &copy) != SQLITE_OK) {
        why = part + ": cannot be written: " + sqlite3_errmsg(copy);
    } else if (sqlite3_backup* b = sqlite3_backup_init(copy, "main", source, "main"); b == nullptr) {
        why = sqlite3_errmsg(copy);
    } else {
        // All pages in one step: one read transaction, so the copy is the database at one
        // moment; in WAL mode the servers' writes go on meanwhile.
        int rc;
        while ((rc = sqlite3_backup_step(b, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(50);
        sqlite3_backup_finish(b);
        if (rc != SQLITE_DONE) why = std::string("the copy failed: ") + sqlite3_errstr(rc);
    }
    // The copy on disk before it takes the name: a crash now leaves the old backup or none.
    // One file of its own, with no log beside it.
    if (why.empty() && sqlite3_exec(copy, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) != SQLITE_OK)
        why = std::string("the copy cannot be finished: ") + sqlite3_errmsg(copy);
    sqlite3_close(copy);
    sqlite3_close(source);
    if (why.empty()) {
        if (std::FILE* f = std::fopen(part.c_str(), "rb+")) {
            fsync(fileno(f));
            std::fclose(f);
        }
        if (std::rename(part.c_str(), to.c_str()) != 0) why = to + ": cannot be written: " + std::strerror(errno);
    }
    if (!why.empty()) std::remove(part.c_str());
    return why;
}

int SqliteStore::version() {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT version FROM schema_version");
    return s.step() ? static_cast<int>(s.integer(0)) : 0;
}

void SqliteStore::createSession(const SessionRow& session) {
    std::lock_guard lock(mutex_);
    Statement(db_, "INSERT INTO sessions (id, seed, created, last) VALUES (?, ?, ?, ?)")
        .bind(1, session.id)
        .bind(2, std::to_string(session.seed))
        .bind(3, session.createdMs)
        .bind(4, session.createdMs)
        .step();
}

std::optional<SessionRow> SqliteStore::session(const std::string& id) {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT seed, created, last, lines, bytes FROM sessions WHERE id = ?");
    if (!s.bind(1, id).step()) return std::nullopt;
    return SessionRow{id, std::stoull(s.text(0)), s.integer(1), s.integer(2), static_cast<long>(s.integer(3)),
                      s.integer(4)};
}

Append SqliteStore::appendLines(const std::string& id, long from, const std::vector<std::string_view>& lines,
                                std::int64_t arrivedMs, std::int64_t maxBytes) {
    std::lock_guard lock(mutex_);
    Transaction t(db_);
    Statement s(db_, "SELECT lines, bytes FROM sessions WHERE id = ?");
    if (!s.bind(1, id).step()) return {Append::Result::NoSession, 0};
    const std::int64_t bytes = s.integer(1);
    const Append plan = planAppend(static_cast<long>(s.integer(0)), bytes, from, lines, maxBytes);
    if (plan.result != Append::Result::Appended) return plan;
    Statement(db_, "INSERT INTO batches (session, first, count, arrived, text) VALUES (?, ?, ?, ?, ?)")
        .bind(1, id).bind(2, plan.lines - plan.count).bind(3, plan.count).bind(4, arrivedMs).bind(5, plan.text).step();
    Statement(db_, "UPDATE sessions SET lines = ?, bytes = ?, last = ? WHERE id = ?")
        .bind(1, plan.lines).bind(2, bytes + static_cast<std::int64_t>(plan.text.size())).bind(3, arrivedMs).bind(4, id)
        .step();
    t.commit();
    return plan;
}

SessionLog SqliteStore::log(const std::string& id) {
    std::lock_guard lock(mutex_);
    SessionLog log;
    Statement s(db_, "SELECT seed, created, replay FROM sessions WHERE id = ?");
    if (!s.bind(1, id).step()) return log;
    log.seed = std::stoull(s.text(0));
    log.createdMs = s.integer(1);
    log.replay = s.text(2);
    Statement b(db_, "SELECT first, count, arrived, text FROM batches WHERE session = ? ORDER BY first");
    b.bind(1, id);
    while (b.step()) {
        log.batches.push_back({static_cast<long>(b.integer(0)), static_cast<long>(b.integer(1)), b.integer(2)});
        log.text += b.text(3);
    }
    Statement v(db_, "SELECT value, issued, secret FROM round_values WHERE session = ? ORDER BY issued, value");
    v.bind(1, id);
    while (v.step()) log.values.push_back({std::stoull(v.text(0)), v.integer(1), v.text(2)});
    return log;
}

bool SqliteStore::issueValue(const std::string& id, const IssuedValue& value, int most) {
    std::lock_guard lock(mutex_);
    Transaction t(db_);
    Statement held(db_, "SELECT count(*) FROM round_values WHERE session = ?");
    held.bind(1, id).step();
    if (held.integer(0) >= most) return false;
    try {
        Statement(db_, "INSERT INTO round_values (session, value, issued, secret) VALUES (?, ?, ?, ?)")
            .bind(1, id).bind(2, std::to_string(value.value)).bind(3, value.issuedMs).bind(4, value.secret).step();
    } catch (const Statement::Constraint&) {
        return false;  // no such session (or, once in 2^64, a value issued twice)
    }
    t.commit();
    return true;
}

int SqliteStore::purge(std::int64_t idleBeforeMs, int most) {
    struct Step : PurgeStep {
        explicit Step(sqlite3* db) : db(db) {}
        std::vector<std::string> idle(std::int64_t beforeMs, int most) override {
            std::vector<std::string> ids;
            Statement s(db, kIdle);
            s.bind(1, beforeMs).bind(2, most);
            while (s.step()) ids.push_back(s.text(0));
            return ids;
        }
        std::optional<std::int64_t> kept(const std::string& id) override {
            Statement s(db, "SELECT max(lines) FROM records WHERE session = $1");
            s.bind(1, id).step();
            if (sqlite3_column_type(s.handle(), 0) == SQLITE_NULL) return std::nullopt;
            return s.integer(0);
        }
        void run(const char* sql, const std::string& id, std::int64_t number) override {
            Statement s(db, sql);
            s.bind(1, id);
            if (sqlite3_bind_parameter_count(s.handle()) > 1) s.bind(2, number);
            s.step();
        }
        sqlite3* db;
    };
    std::lock_guard lock(mutex_);
    Transaction t(db_);
    Step step(db_);
    const int took = step.purge(idleBeforeMs, most);
    t.commit();
    return took;
}

void SqliteStore::keepReplay(const std::string& id, int rounds, const std::string& state) {
    std::lock_guard lock(mutex_);
    Statement(db_, "UPDATE sessions SET replay = ?, replay_rounds = ? WHERE id = ? AND replay_rounds < ? AND purged = 0")
        .bind(1, state).bind(2, rounds).bind(3, id).bind(4, rounds).step();
}

std::optional<StoredVerdict> SqliteStore::verdict(const std::string& id, int round) {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT record, code, message FROM verdicts WHERE session = ? AND round = ?");
    if (!s.bind(1, id).bind(2, round).step()) return std::nullopt;
    return StoredVerdict{s.integer(0), s.text(1), s.text(2)};
}

void SqliteStore::keepVerdict(const std::string& id, int round, const StoredVerdict& v) {
    std::lock_guard lock(mutex_);
    Statement(db_, "INSERT OR IGNORE INTO verdicts (session, round, record, code, message) VALUES (?, ?, ?, ?, ?)")
        .bind(1, id).bind(2, round).bind(3, v.record).bind(4, v.code).bind(5, v.message).step();
}

std::optional<long long> SqliteStore::placeRecord(const RecordRow& r) {
    std::lock_guard lock(mutex_);
    try {
        Statement(db_, "INSERT INTO records (session, round, initials, initials_final, score, difficulty, at, lines, reactions, held) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .bind(1, r.session).bind(2, r.round).bind(3, r.initials).bind(4, r.initialsFinal ? 1 : 0)
            .bind(5, r.score).bind(6, r.difficulty).bind(7, r.atMs).bind(8, r.lines).bind(9, r.reactions).bind(10, r.held)
            .step();
    } catch (const Statement::Constraint&) {
        return std::nullopt;
    }
    return sqlite3_last_insert_rowid(db_);
}

std::optional<RecordRow> SqliteStore::record(long long id) {
    std::lock_guard lock(mutex_);
    Statement s(db_, (std::string("SELECT ") + kRecordColumns + " WHERE id = ?").c_str());
    if (!s.bind(1, id).step()) return std::nullopt;
    return recordOf(s);
}

std::vector<RecordRow> SqliteStore::top(std::int64_t sinceMs, int n) {
    std::lock_guard lock(mutex_);
    Statement s(db_, (std::string("SELECT ") + kRecordColumns +
                      " WHERE " + kOnBoardsSql + " AND at >= ? ORDER BY " + kBoardOrderSql + " LIMIT ?").c_str());
    s.bind(1, sinceMs).bind(2, n);
    std::vector<RecordRow> rows;
    while (s.step()) rows.push_back(recordOf(s));
    return rows;
}

long SqliteStore::countAtLeast(std::int64_t sinceMs, int score) {
    std::lock_guard lock(mutex_);
    Statement s(db_, (std::string("SELECT count(*) FROM records WHERE ") + kOnBoardsSql + " AND at >= ? AND score >= ?").c_str());
    s.bind(1, sinceMs).bind(2, score).step();
    return static_cast<long>(s.integer(0));
}

bool SqliteStore::setInitials(long long id, const std::string& initials) {
    std::lock_guard lock(mutex_);
    Statement(db_, "UPDATE records SET initials = ?, initials_final = 1 WHERE id = ? AND initials_final = 0")
        .bind(1, initials).bind(2, id).step();
    return sqlite3_changes(db_) == 1;
}

bool SqliteStore::removeRecord(long long id) {
    std::lock_guard lock(mutex_);
    Statement(db_, "UPDATE records SET removed = 1 WHERE id = ? AND removed = 0").bind(1, id).step();
    return sqlite3_changes(db_) == 1;
}

bool SqliteStore::approveRecord(long long id) {
    std::lock_guard lock(mutex_);
    Statement(db_, "UPDATE records SET held = '', approved = 1 WHERE id = ? AND held <> '' AND removed = 0").bind(1, id).step();
    return sqlite3_changes(db_) == 1;
}

std::vector<RecordRow> SqliteStore::allRecords() {
    std::lock_guard lock(mutex_);
    Statement s(db_, (std::string("SELECT ") + kRecordColumns + " ORDER BY id").c_str());
    std::vector<RecordRow> rows;
    while (s.step()) rows.push_back(recordOf(s));
    return rows;
}

std::vector<RecordRow> SqliteStore::recordsOf(const std::string& session) {
    std::lock_guard lock(mutex_);
    Statement s(db_, (std::string("SELECT ") + kRecordColumns + " WHERE session = ? ORDER BY id").c_str());
    s.bind(1, session);
    std::vector<RecordRow> rows;
    while (s.step()) rows.push_back(recordOf(s));
    return rows;
}

}  // namespace bopatron::server
