// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/postgres_store.h"

#include <libpq-fe.h>

#include <memory>

namespace bopatron::server {

namespace {

const std::vector<std::string> kMigrations = migrations(Dialect::Postgres);
const int kVersion = static_cast<int>(kMigrations.size());
// Taken while migrating: two servers starting at once migrate one after the other.
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(7406257)";

struct Clear {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, Clear>;

[[noreturn]] void fail(PGconn* db, const std::string& what, const PGresult* r = nullptr) {
    std::string why = r ? PQresultErrorMessage(r) : PQerrorMessage(db);
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    if (state && std::string(state) == "53100") why = "the disk is full";
    if (state && std::string(state) == "25006") why = "the database is read-only";
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    throw StoreUnavailable(what + ": " + (why.empty() ? "the database does not answer" : why));
}

// One statement with text parameters; a unique key already taken returns null.
Result run(PGconn* db, const char* sql, std::initializer_list<std::string> params = {}) {
    std::vector<const char*> values;
    for (const std::string& p : params) values.push_back(p.c_str());
    Result r(PQexecParams(db, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return r;
    const char* state = r ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr;
    if (state && std::string(state) == "23505") return nullptr;
    fail(db, "the database cannot do this", r.get());
}

// Several statements without parameters (a migration).
void script(PGconn* db, const char* sql) {
    const Result r(PQexec(db, sql));
    if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) fail(db, "the database cannot be changed", r.get());
}

std::string n(std::int64_t v) { return std::to_string(v); }
std::int64_t integer(const PGresult* r, int row, int column) { return std::stoll(PQgetvalue(r, row, column)); }
std::string text(const PGresult* r, int row, int column) {
    return std::string(PQgetvalue(r, row, column), static_cast<std::size_t>(PQgetlength(r, row, column)));
}
bool boolean(const PGresult* r, int row, int column) { return PQgetvalue(r, row, column)[0] == 't'; }

// One transaction: committed by commit(), rolled back otherwise.
class Transaction {
public:
    explicit Transaction(PGconn* db) : db_(db) { run(db, "BEGIN"); }
    ~Transaction() {
        if (!done_) PQclear(PQexec(db_, "ROLLBACK"));
    }
    void commit() {
        run(db_, "COMMIT");
        done_ = true;
    }

private:
    PGconn* db_;
    bool done_ = false;
};

constexpr const char* kRecordColumns =
    "SELECT id, session, round, initials, initials_final, score, difficulty, at, lines, removed, reactions, held, approved FROM records ";

std::vector<RecordRow> recordsIn(const PGresult* r) {
    std::vector<RecordRow> rows;
    for (int i = 0; i < PQntuples(r); ++i) {
        RecordRow row;
        row.id = integer(r, i, 0);
        row.session = text(r, i, 1);
        row.round = static_cast<int>(integer(r, i, 2));
        row.initials = text(r, i, 3);
        row.initialsFinal = boolean(r, i, 4);
        row.score = static_cast<int>(integer(r, i, 5));
        row.difficulty = static_cast<int>(integer(r, i, 6));
        row.atMs = integer(r, i, 7);
        row.lines = static_cast<long>(integer(r, i, 8));
        row.removed = boolean(r, i, 9);
        row.reactions = text(r, i, 10);
        row.held = text(r, i, 11);
        row.approved = boolean(r, i, 12);
        rows.push_back(row);
    }
    return rows;
}

std::string sql(const char* columns, const std::string& rest) { return std::string(columns) + rest; }

}  // namespace

PostgresStore::PostgresStore(const std::string& connection) : connection_(connection) {
    const Lease lease(*this);
    PGconn* db = lease.db();
    Transaction t(db);
    run(db, kMigrationLock);
    run(db, "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    const Result read = run(db, "SELECT version FROM schema_version");
    const int at = PQntuples(read.get()) ? static_cast<int>(integer(read.get(), 0, 0)) : 0;
    if (at > kVersion) throw StoreUnavailable("the database was made by a newer bopatron-server (schema " + n(at) + ")");
    for (int v = at; v < kVersion; ++v) script(db, kMigrations[v].c_str());
    run(db, "DELETE FROM schema_version");
    run(db, "INSERT INTO schema_version VALUES ($1)", {n(kVersion)});
    t.commit();
}

PostgresStore::~PostgresStore() {
    for (PGconn* db : idle_) PQfinish(db);
}

PostgresStore::Lease::Lease(PostgresStore& store) : store_(store) {
    {
        std::unique_lock lock(store.mutex_);
        store.returned_.wait(lock, [&store] { return store.leased_ < kConnections; });
        ++store.leased_;
        if (!store.idle_.empty()) {
            db_ = store.idle_.back();
            store.idle_.pop_back();
        }
    }
    if (db_ && PQstatus(db_) == CONNECTION_OK) return;
    PQfinish(db_);
    db_ = PQconnectdb(store.connection_.c_str());
    try {
        if (PQstatus(db_) != CONNECTION_OK) fail(db_, "the database cannot be reached");
        // The server's notices ("... already exists, skipping" at each start) are not the
        // operator's business: errors come back as results and are reported from there.
        PQsetNoticeProcessor(db_, [](void*, const char*) {}, nullptr);
        // Every commit waits for the log on disk: an answered batch survives a crash.
        run(db_, "SET synchronous_commit = on");
    } catch (...) {
        giveBack();  // a constructor that throws has no destructor run
        throw;
    }
}

PostgresStore::Lease::~Lease() { giveBack(); }

void PostgresStore::Lease::giveBack() {
    std::lock_guard lock(store_.mutex_);
    if (db_ && PQstatus(db_) == CONNECTION_OK) store_.idle_.push_back(db_);
    else PQfinish(db_);
    db_ = nullptr;
    --store_.leased_;
    store_.returned_.notify_one();
}

int PostgresStore::version() {
    const Lease lease(*this);
    const Result r = run(lease.db(), "SELECT version FROM schema_version");
    return PQntuples(r.get()) ? static_cast<int>(integer(r.get(), 0, 0)) : 0;
}

void PostgresStore::createSession(const SessionRow& s) {
    const Lease lease(*this);
    run(lease.db(), "INSERT INTO sessions (id, seed, created, last) VALUES ($1, $2, $3, $3)",
        {s.id, std::to_string(s.seed), n(s.createdMs)});
}

std::optional<SessionRow> PostgresStore::session(const std::string& id) {
    const Lease lease(*this);
    const Result r = run(lease.db(), "SELECT seed, created, last, lines, bytes FROM sessions WHERE id = $1", {id});
    if (PQntuples(r.get()) == 0) return std::nullopt;
    const PGresult* p = r.get();
    return SessionRow{id, std::stoull(text(p, 0, 0)), integer(p, 0, 1), integer(p, 0, 2),
                      static_cast<long>(integer(p, 0, 3)), integer(p, 0, 4)};
}

Append PostgresStore::appendLines(const std::string& id, long from, const std::vector<std::string_view>& lines,
                                  std::int64_t arrivedMs, std::int64_t maxBytes) {
    const Lease lease(*this);
    PGconn* db = lease.db();
    Transaction t(db);
    // The session's row stays locked to the end: another server's batch of it waits its turn.
    const Result s = run(db, "SELECT lines, bytes FROM sessions WHERE id = $1 FOR UPDATE", {id});
    if (PQntuples(s.get()) == 0) return {Append::Result::NoSession, 0};
    const std::int64_t bytes = integer(s.get(), 0, 1);
    const Append plan = planAppend(static_cast<long>(integer(s.get(), 0, 0)), bytes, from, lines, maxBytes);
    if (plan.result != Append::Result::Appended) return plan;
    run(db, "INSERT INTO batches (session, first, count, arrived, text) VALUES ($1, $2, $3, $4, $5)",
        {id, n(plan.lines - plan.count), n(plan.count), n(arrivedMs), plan.text});
    run(db, "UPDATE sessions SET lines = $1, bytes = $2, last = $3 WHERE id = $4",
        {n(plan.lines), n(bytes + static_cast<std::int64_t>(plan.text.size())), n(arrivedMs), id});
    t.commit();
    return plan;
}

SessionLog PostgresStore::log(const std::string& id) {
    const Lease lease(*this);
    PGconn* db = lease.db();
    SessionLog log;
    const Result s = run(db, "SELECT seed, created, replay FROM sessions WHERE id = $1", {id});
    if (PQntuples(s.get()) == 0) return log;
    log.seed = std::stoull(text(s.get(), 0, 0));
    log.createdMs = integer(s.get(), 0, 1);
    log.replay = text(s.get(), 0, 2);
    const Result b = run(db, "SELECT first, count, arrived, text FROM batches WHERE session = $1 ORDER BY first", {id});
    for (int i = 0; i < PQntuples(b.get()); ++i) {
        log.batches.push_back({static_cast<long>(integer(b.get(), i, 0)), static_cast<long>(integer(b.get(), i, 1)),
                               integer(b.get(), i, 2)});
        log.text += text(b.get(), i, 3);
    }
    const Result v = run(db, "SELECT value, issued, secret FROM round_values WHERE session = $1 ORDER BY issued, value", {id});
    for (int i = 0; i < PQntuples(v.get()); ++i)
        log.values.push_back({std::stoull(text(v.get(), i, 0)), integer(v.get(), i, 1), text(v.get(), i, 2)});
    return log;
}

bool PostgresStore::issueValue(const std::string& id, const IssuedValue& value, int most) {
    const Lease lease(*this);
    PGconn* db = lease.db();
    Transaction t(db);
    // The session's row locked: two servers issuing to one session count one after the other.
    const Result s = run(db, "SELECT 1 FROM sessions WHERE id = $1 FOR UPDATE", {id});
    if (PQntuples(s.get()) == 0) return false;
    const Result held = run(db, "SELECT count(*) FROM round_values WHERE session = $1", {id});
    if (integer(held.get(), 0, 0) >= most) return false;
    if (!run(db, "INSERT INTO round_values (session, value, issued, secret) VALUES ($1, $2, $3, $4)",
             {id, std::to_string(value.value), n(value.issuedMs), value.secret}))
        return false;
    t.commit();
    return true;
}

int PostgresStore::purge(std::int64_t idleBeforeMs, int most) {
    struct Step : PurgeStep {
        explicit Step(PGconn* db) : db(db) {}
        std::vector<std::string> idle(std::int64_t beforeMs, int most) override {
            // Rows another server is purging now are left to it.
            const Result r = server::run(db, (std::string(kIdle) + " FOR UPDATE SKIP LOCKED").c_str(), {n(beforeMs), n(most)});
            std::vector<std::string> ids;
            for (int i = 0; i < PQntuples(r.get()); ++i) ids.push_back(text(r.get(), i, 0));
            return ids;
        }
        std::optional<std::int64_t> kept(const std::string& id) override {
            const Result r = server::run(db, "SELECT max(lines) FROM records WHERE session = $1", {id});
            if (PQgetisnull(r.get(), 0, 0)) return std::nullopt;
            return integer(r.get(), 0, 0);
        }
        void run(const char* sql, const std::string& id, std::int64_t number) override {
            if (std::string_view(sql).find("$2") == std::string_view::npos) server::run(db, sql, {id});
            else server::run(db, sql, {id, n(number)});
        }
        PGconn* db;
    };
    const Lease lease(*this);
    Transaction t(lease.db());
    Step step(lease.db());
    const int took = step.purge(idleBeforeMs, most);
    // Limits untouched since then are long back to where a newcomer's start.
    run(lease.db(), "DELETE FROM client_limits WHERE at_ms < $1", {n(idleBeforeMs)});
    run(lease.db(), "DELETE FROM rounds_in_play WHERE at_ms < $1", {n(idleBeforeMs)});
    t.commit();
    return took;
}

// One statement a decision, the row of its key locked only while it runs: two servers
// deciding on one key at once decide one after the other, the second on the first's row.
bool PostgresStore::take(const std::string& key, int burst, std::int64_t refillMs, std::int64_t now) {
    constexpr const char* kTake =
        "INSERT INTO client_limits AS b (key, tokens, at_ms) VALUES ($1, $2::float8 - 1, $4::bigint) "
        "ON CONFLICT (key) DO UPDATE SET at_ms = GREATEST(b.at_ms, $4::bigint), "
        "tokens = LEAST($2::float8, b.tokens + GREATEST(0, $4::bigint - b.at_ms)::float8 / $3::float8) - 1 "
        "WHERE LEAST($2::float8, b.tokens + GREATEST(0, $4::bigint - b.at_ms)::float8 / $3::float8) >= 1 RETURNING 1";
    const Lease lease(*this);
    const Result r = run(lease.db(), kTake, {key, n(burst), n(refillMs), n(now)});
    return r && PQntuples(r.get()) == 1;
}

bool PostgresStore::startRound(const std::string& address, const std::string& session, int most, std::int64_t windowMs,
                               std::int64_t now) {
    // The address's other rounds still in play: started within the window, not this session's.
    constexpr const char* kOthers =
        "FROM jsonb_each(r.sessions::jsonb) AS e(s, at) WHERE s <> $2 AND (at #>> '{}')::bigint > $3::bigint - $5::bigint";
    const std::string start =
        std::string("INSERT INTO rounds_in_play AS r (address, sessions, at_ms) "
                    "VALUES ($1, jsonb_build_object($2::text, $3::bigint)::text, $3::bigint) "
                    "ON CONFLICT (address) DO UPDATE SET at_ms = $3::bigint, sessions = "
                    "((SELECT COALESCE(jsonb_object_agg(s, at), '{}'::jsonb) ") + kOthers +
        ") || jsonb_build_object($2::text, $3::bigint))::text WHERE (SELECT count(*) " + kOthers + ") < $4::int RETURNING 1";
    const Lease lease(*this);
    const Result r = run(lease.db(), start.c_str(), {address, session, n(now), n(most), n(windowMs)});
    return r && PQntuples(r.get()) == 1;
}

void PostgresStore::roundClaimed(const std::string& address, const std::string& session) {
    const Lease lease(*this);
    run(lease.db(), "UPDATE rounds_in_play SET sessions = (sessions::jsonb - $2::text)::text WHERE address = $1", {address, session});
}

void PostgresStore::keepReplay(const std::string& id, int rounds, const std::string& state) {
    const Lease lease(*this);
    run(lease.db(), "UPDATE sessions SET replay = $1, replay_rounds = $2 WHERE id = $3 AND replay_rounds < $2 AND NOT purged",
        {state, n(rounds), id});
}

std::optional<StoredVerdict> PostgresStore::verdict(const std::string& id, int round) {
    const Lease lease(*this);
    const Result r = run(lease.db(), "SELECT record, code, message FROM verdicts WHERE session = $1 AND round = $2",
                         {id, n(round)});
    if (PQntuples(r.get()) == 0) return std::nullopt;
    return StoredVerdict{integer(r.get(), 0, 0), text(r.get(), 0, 1), text(r.get(), 0, 2)};
}

void PostgresStore::keepVerdict(const std::string& id, int round, const StoredVerdict& v) {
    const Lease lease(*this);
    run(lease.db(),
        "INSERT INTO verdicts (session, round, record, code, message) VALUES ($1, $2, $3, $4, $5) "
        "ON CONFLICT (session, round) DO NOTHING",
        {id, n(round), n(v.record), v.code, v.message});
}

std::optional<long long> PostgresStore::placeRecord(const RecordRow& r) {
    const Lease lease(*this);
    // Two servers verifying the same round: the unique (session, round) lets one in.
    const Result placed = run(lease.db(),
                              "INSERT INTO records (session, round, initials, initials_final, score, difficulty, at, lines, reactions, held) "
                              "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10) ON CONFLICT (session, round) DO NOTHING RETURNING id",
                              {r.session, n(r.round), r.initials, r.initialsFinal ? "t" : "f", n(r.score),
                               n(r.difficulty), n(r.atMs), n(r.lines), r.reactions, r.held});
    if (!placed || PQntuples(placed.get()) == 0) return std::nullopt;
    return integer(placed.get(), 0, 0);
}

std::optional<RecordRow> PostgresStore::record(long long id) {
    const Lease lease(*this);
    const Result r = run(lease.db(), sql(kRecordColumns, "WHERE id = $1").c_str(), {n(id)});
    auto rows = recordsIn(r.get());
    if (rows.empty()) return std::nullopt;
    return rows.front();
}

std::vector<RecordRow> PostgresStore::top(std::int64_t sinceMs, int count) {
    const Lease lease(*this);
    const Result r = run(lease.db(), sql(kRecordColumns, std::string("WHERE ") + kOnBoardsSql + " AND at >= $1 ORDER BY " + kBoardOrderSql + " LIMIT $2").c_str(),
                         {n(sinceMs), n(count)});
    return recordsIn(r.get());
}

long PostgresStore::countAtLeast(std::int64_t sinceMs, int score) {
    const Lease lease(*this);
    const Result r = run(lease.db(), (std::string("SELECT count(*) FROM records WHERE ") + kOnBoardsSql + " AND at >= $1 AND score >= $2").c_str(),
                         {n(sinceMs), n(score)});
    return static_cast<long>(integer(r.get(), 0, 0));
}

bool PostgresStore::setInitials(long long id, const std::string& initials) {
    const Lease lease(*this);
    const Result r = run(lease.db(), "UPDATE records SET initials = $1, initials_final = TRUE WHERE id = $2 AND NOT initials_final",
                         {initials, n(id)});
    return std::string(PQcmdTuples(r.get())) == "1";
}

bool PostgresStore::removeRecord(long long id) {
    const Lease lease(*this);
    const Result r = run(lease.db(), "UPDATE records SET removed = TRUE WHERE id = $1 AND NOT removed", {n(id)});
    return std::string(PQcmdTuples(r.get())) == "1";
}

bool PostgresStore::approveRecord(long long id) {
    const Lease lease(*this);
    const Result r = run(lease.db(), "UPDATE records SET held = '', approved = TRUE WHERE id = $1 AND held <> '' AND NOT removed", {n(id)});
    return std::string(PQcmdTuples(r.get())) == "1";
}

std::vector<RecordRow> PostgresStore::allRecords() {
    const Lease lease(*this);
    return recordsIn(run(lease.db(), sql(kRecordColumns, "ORDER BY id").c_str()).get());
}

std::vector<RecordRow> PostgresStore::recordsOf(const std::string& session) {
    const Lease lease(*this);
    return recordsIn(run(lease.db(), sql(kRecordColumns, "WHERE session = $1 ORDER BY id").c_str(), {session}).get());
}

}  // namespace bopatron::server
