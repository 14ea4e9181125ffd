// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The embedded backend: one SQLite file in WAL mode with synchronous=FULL, so
// that a batch or a record is on the disk before it is answered. The schema is
// brought up to date by numbered migrations when the file is opened.

#include "server/store.h"

#include <mutex>

struct sqlite3;

namespace bopatron::server {

class SqliteStore : public Store {
public:
    // Opens (creating) the database; ":memory:" for one in memory. Throws
    // StoreUnavailable with a sentence when it cannot be opened or migrated.
    explicit SqliteStore(const std::string& path);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    // The schema version the file is at.
    int version();
    // Copies the database in file `from` to `to` as it is at one moment, while
    // servers go on writing to it (SQLite's online backup, never a plain copy
    // of a live file); `to` appears whole or not at all. "" or why it failed.
    static std::string backup(const std::string& from, const std::string& to);

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

private:
    std::mutex mutex_;
    sqlite3* db_ = nullptr;
};

}  // namespace bopatron::server
