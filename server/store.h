// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Storage of the world table: sessions, the lines they sent in batches, and
// the records placed. One small interface; SQLite is the embedded backend, and
// another database is another implementation of it. Every call is one
// transaction, durable when it returns.

#include "server/limits.h"
#include "server/session_log.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace bopatron::server {

// The database cannot take or give anything now (full, read-only, gone):
// the request is answered 503 and nothing stored is lost.
struct StoreUnavailable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct SessionRow {
    std::string id;
    std::uint64_t seed = 0;
    std::int64_t createdMs = 0;
    std::int64_t lastMs = 0;  // the last batch's arrival, or the creation
    long lines = 0;
    std::int64_t bytes = 0;
};

struct RecordRow {
    long long id = 0;
    std::string session;
    int round = 0;
    std::string initials;  // the three characters Scores.txt would keep, in UTF-8
    bool initialsFinal = false;  // typed into the game's box, or set once since
    int score = 0;
    int difficulty = 0;
    std::int64_t atMs = 0;  // when the round's last tick arrived
    long lines = 0;         // the demo's lines through the round
    bool removed = false;
    std::string reactions;  // how fast its whacks came, as JSON (GET /api/records/ID); "" when not known
    std::string held;       // why it waits off the boards for an operator, in the player's words; "" when on them
    bool approved = false;  // held once, and put on the boards by an operator
};

// What the table answered a claim, kept so that the claim sent again is
// answered the same without another replay.
struct StoredVerdict {
    long long record = 0;  // the record placed; 0 when none was
    std::string code;      // the refusal's code; "" when not refused
    std::string message;
};

struct Append {
    enum class Result { Appended, Duplicate, Gap, TooLarge, NoSession };
    Result result = Result::Appended;
    long lines = 0;  // the session's lines after the call (the line expected next)
    // Appended: the new lines, each ending in LF, and how many they are.
    std::string text;
    long count = 0;
};

// The boards: the records neither removed nor held, a higher score first and an
// equal score keeping the earlier record (then the one placed first) above; a
// board of five. Every backend's SQL says it with these, and ranks with ranksAbove.
inline constexpr int kBoardSize = 5;
inline constexpr char kOnBoardsSql[] = "removed = FALSE AND held = ''";
inline constexpr char kBoardOrderSql[] = "score DESC, at, id";
// Whether record a ranks above a record b of this score, time and id.
bool ranksAbove(const RecordRow& a, int score, std::int64_t atMs, long long id);
// The start of the UTC day that holds ms: where today's board begins.
std::int64_t dayStartMs(std::int64_t ms);

// What a batch sent from line `from` does to a session that holds `held` lines
// of `bytes` bytes: lines it holds already are skipped (a batch sent twice is
// taken once), a first line past its end is a gap, and it never holds more
// than maxBytes. Every backend appends by this one rule.
Append planAppend(long held, std::int64_t bytes, long from, const std::vector<std::string_view>& lines,
                  std::int64_t maxBytes);

// The schema, one migration per version, in each backend's words; each runs in one
// transaction with the version it brings.
enum class Dialect { Sqlite, Postgres };
std::vector<std::string> migrations(Dialect dialect);

// Retention's step, written once: a backend runs these statements (parameters
// $1, $2 in order) in one transaction. `idle` lists at most $2 sessions not purged
// whose last line came before $1; `kept` gives the lines a session's records need
// (NULL when it holds none).
class PurgeStep {
public:
    static constexpr const char* kIdle = "SELECT id FROM sessions WHERE purged = FALSE AND last < $1 ORDER BY last LIMIT $2";
    virtual ~PurgeStep() = default;
    virtual std::vector<std::string> idle(std::int64_t beforeMs, int most) = 0;
    virtual std::optional<std::int64_t> kept(const std::string& id) = 0;
    // A statement on one session ($1), with a number ($2) when it takes one.
    virtual void run(const char* sql, const std::string& id, std::int64_t number = 0) = 0;
    // The step: returns how many sessions it took.
    int purge(std::int64_t idleBeforeMs, int most);
};

class Store {
public:
    virtual ~Store() = default;

    virtual void createSession(const SessionRow& session) = 0;
    virtual std::optional<SessionRow> session(const std::string& id) = 0;
    // Appends lines from, from + 1, ... Lines the session already holds are
    // skipped (a batch sent again is taken once); a first line past the end
    // is a gap. At most maxBytes may be held in all.
    virtual Append appendLines(const std::string& id, long from, const std::vector<std::string_view>& lines,
                               std::int64_t arrivedMs, std::int64_t maxBytes) = 0;
    // The session's lines and batches, its rounds' values and where its replay stopped.
    virtual SessionLog log(const std::string& id) = 0;
    // Keeps a round's value, issued now to the session; false when the session
    // holds `most` values already, or is no session.
    virtual bool issueValue(const std::string& id, const IssuedValue& value, int most) = 0;
    // The verdict given on a round of the session, if one was.
    virtual std::optional<StoredVerdict> verdict(const std::string& id, int round) = 0;
    // Keeps the verdict on a round; a verdict kept already stays.
    virtual void keepVerdict(const std::string& id, int round, const StoredVerdict& verdict) = 0;
    // Keeps where the session's replay stopped (formatReplayState), when it has
    // passed more rounds than the state kept: two replays at once only move it on.
    virtual void keepReplay(const std::string& id, int rounds, const std::string& state) = 0;
    // One small step of retention, in one transaction: of at most `most` sessions whose
    // last line came before idleBeforeMs, those that hold no record are deleted, and the
    // others keep only the batches their records' demos need. Returns how many it took.
    virtual int purge(std::int64_t idleBeforeMs, int most) = 0;

    // Stores a verified record; nullopt when that round of that session is placed already.
    virtual std::optional<long long> placeRecord(const RecordRow& record) = 0;
    virtual std::optional<RecordRow> record(long long id) = 0;
    // The records on the boards (neither removed nor held) that arrived at or after sinceMs, best first:
    // higher score first, an equal score keeping the earlier record above.
    virtual std::vector<RecordRow> top(std::int64_t sinceMs, int n) = 0;
    // How many records on the boards since sinceMs have a score of at least score.
    virtual long countAtLeast(std::int64_t sinceMs, int score) = 0;
    // Sets the initials of a record whose initials are not final; false when they are.
    virtual bool setInitials(long long id, const std::string& initials) = 0;
    virtual bool removeRecord(long long id) = 0;
    // Puts a held record on the boards (where the time it was played ranks it); false when none is held.
    virtual bool approveRecord(long long id) = 0;
    virtual std::vector<RecordRow> allRecords() = 0;
    // The records of one session, removed ones included.
    virtual std::vector<RecordRow> recordsOf(const std::string& session) = 0;
    // The limits on clients: in this process's memory, unless the backend is shared by
    // several servers, which must all see them.
    virtual Limits& limits() { return memoryLimits_; }

private:
    MemoryLimits memoryLimits_;
};

}  // namespace bopatron::server
