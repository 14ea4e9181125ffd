// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The shared backend: a PostgreSQL database that several bopatron-server
// processes use at once as one table. Every call is one transaction; a
// session's row is locked while lines are appended, so batches of one session
// arriving at two servers are taken in order, once. Calls from several
// threads run side by side on a few connections (their commits are written
// to the log together). A lost connection is answered as unavailable and
// opened again by the next call.

#include "server/store.h"

#include <condition_variable>
#include <mutex>
#include <vector>

struct pg_conn;

namespace bopatron::server {

class PostgresStore : public Store, private Limits {
public:
    // Connects with a libpq connection string (postgresql://…) and brings the
    // schema up to date. Throws StoreUnavailable with a sentence when it cannot.
    explicit PostgresStore(const std::string& connection);
    ~PostgresStore() override;
    PostgresStore(const PostgresStore&) = delete;
    PostgresStore& operator=(const PostgresStore&) = delete;

    int version();

    void createSession(const SessionRow& session) override;
    std::optional<SessionRow> session(const std::string& id) override;
    Append appendLines(const std::string& id, long from, const std::vector<std::string_view>& lines,
                       std::int64_t arrivedMs, std::int64_t maxBytes) override;
    SessionLog log(const std::string& id) override;
    bool issueValue(const std::string& id, const IssuedValue& value, int most) override;
    std::optional<StoredVerdict> verdict(const std::string& id, int round) override;
    void keepVerdict(const std::string& id, int round, const StoredVerdict& verdict) override;
    void keepReplay(const std::string& id, int rounds, const std::string& state) override;
    int purge(std::int64_t idleBeforeMs, int most) override;
    std::optional<long long> placeRecord(const RecordRow& record) override;
    std::optional<RecordRow> record(long long id) override;
    std::vector<RecordRow> top(std::int64_t sinceMs, int n) override;
    long countAtLeast(std::int64_t sinceMs, int score) override;
    bool setInitials(long long id, const std::string& initials) override;
    bool removeRecord(long long id) override;
    bool approveRecord(long long id) override;
    std::vector<RecordRow> allRecords() override;
    std::vector<RecordRow> recordsOf(const std::string& session) override;
    // Kept in the database, where every server sees them: each decision one statement.
    Limits& limits() override { return *this; }

    // As many connections as the server has threads that may call at once.
    static constexpr int kConnections = 8;

private:
    bool take(const std::string& key, int burst, std::int64_t refillMs, std::int64_t now) override;
    bool startRound(const std::string& address, const std::string& session, int most, std::int64_t windowMs,
                    std::int64_t now) override;
    void roundClaimed(const std::string& address, const std::string& session) override;

    // A connection of the pool, held for one call; opened (again) when it is not open.
    class Lease {
    public:
        explicit Lease(PostgresStore& store);
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        pg_conn* db() const { return db_; }

    private:
        void giveBack();
        PostgresStore& store_;
        pg_conn* db_ = nullptr;
    };

    std::string connection_;
    std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<pg_conn*> idle_;  // open connections not in use
    int leased_ = 0;
};

}  // namespace bopatron::server
