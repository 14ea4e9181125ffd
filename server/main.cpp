// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// bopatron-server: the world table. Hands each session its seed, takes the
// session's demo as it is played, plays every round that claims a place
// again on its own core and times it on its own clock before ranking it.
#include "demo/session.h"
#include "image/png_decoder.h"
#include "image/program_folder.h"
#include "server/api.h"
#include "server/http_server.h"
#include "server/person_check.h"
#include "server/postgres_store.h"
#include "server/sqlite_store.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace bopatron;

constexpr char kVersion[] = "bopatron-server 1.0.0";
constexpr char kUsage[] =
    "Usage: bopatron-server [--bind=ADDR] [--port=N] [--database=PATH] [--site=DIR]\n"
    "                       [--trusted-proxy=ADDR] [--keep-sessions=DAYS]\n"
    "       bopatron-server check [--database=PATH]\n"
    "       bopatron-server review | approve ID | remove ID | demo ID [--database=PATH]\n"
    "       bopatron-server backup FILE [--database=PATH]\n"
    "\n"
    "The world table of Bopatron: every round that claims a place is played again\n"
    "and timed before it is ranked. docs/WORLD.md describes the protocol.\n"
    "\n"
    "  --bind=ADDR      the address to listen on (default 127.0.0.1)\n"
    "  --port=N         the port (default 8080; 0 picks a free one)\n"
    "  --database=PATH  the SQLite file (default world.db in the data folder:\n"
    "                   $STATE_DIRECTORY, or $XDG_DATA_HOME/bopatron-server,\n"
    "                   or ~/.local/share/bopatron-server), or a PostgreSQL\n"
    "                   database that several servers share: postgresql://...\n"
    "  --site=DIR       also serve this static folder (the browser game) at /\n"
    "  --trusted-proxy=ADDR  a proxy in front (nginx at 127.0.0.1): its requests\n"
    "                   count against the client X-Forwarded-For names\n"
    "  --keep-sessions=DAYS  delete a session that holds no record this long after\n"
    "                   its last line, and what no record needs of the others\n"
    "                   (default 7)\n"
    "  check            play every stored record again and list those that no longer match\n"
    "  review           list the records held for review (played as no person plays,\n"
    "                   docs/WORLD.md), best score first, with the reasons\n"
    "  approve ID       put held record ID on the boards\n"
    "  remove ID        take record ID off the boards (or out of review)\n"
    "  demo ID          write record ID's round as a demo to standard output\n"
    "                   (bopatron --play=FILE shows it)\n"
    "  backup FILE      copy a SQLite table to FILE as it is now, while it serves\n"
    "                   (for PostgreSQL, pg_dump: see docs/WORLD.md)\n"
    "  --help, --version\n";

std::mutex logMutex;
void logLine(const std::string& line) {
    std::lock_guard lock(logMutex);
    std::fprintf(stderr, "bopatron-server: %s\n", line.c_str());
}

int usageError(const std::string& why) {
    std::fprintf(stderr, "bopatron-server: %s (see --help)\n", why.c_str());
    return 2;
}

std::string defaultDatabase() {
    namespace fs = std::filesystem;
    fs::path folder;
    if (const char* state = std::getenv("STATE_DIRECTORY"); state && *state) {
        folder = state;
    } else if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
        folder = fs::path(data) / "bopatron-server";
    } else {
        const char* home = std::getenv("HOME");
        folder = fs::path(home && *home ? home : ".") / ".local/share/bopatron-server";
    }
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    return (folder / "world.db").string();
}

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Retention, on a thread of its own, one small step at a time: each step is one short
// transaction over a few sessions idle for days, so a batch waits at most for one step
// (and on PostgreSQL not even that: the step locks only those sessions' rows).
class Purger {
public:
    static constexpr int kStep = 20;
    Purger(server::Store& store, double keepDays)
        : keepMs_(static_cast<std::int64_t>(keepDays * 86400000.0)),
          thread_([this, &store](std::stop_token stop) { run(store, stop); }) {}

private:
    void run(server::Store& store, std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wake;
        long purged = 0;
        while (!stop.stop_requested()) {
            int took = 0;
            try {
                took = store.purge(nowMs() - keepMs_, kStep);
            } catch (const std::exception& e) {
                logLine(std::string("retention: ") + e.what() + "; trying again in a minute");
            }
            purged += took;
            if (took < kStep && purged > 0) {
                logLine("retention: " + std::to_string(purged) + " sessions idle past their time purged");
                purged = 0;
            }
            std::unique_lock lock(mutex);
            wake.wait_for(lock, stop, took == kStep ? std::chrono::milliseconds(100) : std::chrono::milliseconds(60000),
                          [] { return false; });
        }
    }
    std::int64_t keepMs_;
    std::jthread thread_;
};

int check(server::Store& store, const server::Replayer& replayer) {
    int bad = 0, total = 0;
    for (const server::RecordRow& r : store.allRecords()) {
        ++total;
        // Only the replay: the record's time was judged when it was placed.
        const std::string text = store.log(r.session).text;
        const server::RoundFacts facts = server::replayRound(text, r.round, replayer);
        const auto scanned = server::scanRound(text, r.round);
        const auto broken = scanned ? server::factsRule(facts, *scanned) : facts.failed;
        const std::string tag = "record " + std::to_string(r.id) + (r.removed ? " (removed)" : "");
        if (broken) {
            std::printf("%s no longer matches: %s: %s\n", tag.c_str(), broken->code.c_str(), broken->message.c_str());
            ++bad;
        } else if (facts.score != r.score) {
            std::printf("%s no longer matches: it scores %d when played again, not %d\n", tag.c_str(), facts.score, r.score);
            ++bad;
        }
    }
    std::printf("%d records checked, %d no longer match%s\n", total, bad, bad ? " (kept as they are)" : "");
    return bad ? 1 : 0;
}

// The records held for review, and any on the boards whose play breaks the person
// check and no operator approved (placed before it held rounds), best score first,
// each with why.
// How a record's round was pressed, for the operator to weigh: "" when it was kept without.
std::string pressesOf(const server::ReactionSummary& s) {
    if (s.presses == 0) return "";
    return " [" + std::to_string(s.presses) + " presses, " + std::to_string(s.missed) + " hitting nothing, up to " +
           std::to_string(s.fastestSecond) + " in a second; " + std::to_string(s.lucky) + " of " +
           std::to_string(s.whacks) + " whacks lucky hammering; " + std::to_string(s.underPointer) + " of " +
           std::to_string(s.ratsShown) + " rats came up under the pointer]";
}

int review(server::Store& store) {
    std::vector<server::RecordRow> records = store.allRecords();
    std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.score > b.score; });
    int held = 0, listed = 0;
    const auto list = [](const server::RecordRow& r, const char* where, const std::string& why) {
        std::printf("record %lld%s: %d at difficulty %d, %s, %s: %s\n", r.id, where, r.score, r.difficulty,
                    server::isoTime(r.atMs).c_str(), r.initials.c_str(), why.c_str());
    };
    for (const server::RecordRow& r : records) {
        if (r.removed || (r.held.empty() && r.approved)) continue;
        const nlohmann::json play = nlohmann::json::parse(r.reactions.empty() ? "null" : r.reactions, nullptr, false);
        server::ReactionSummary summary;
        try {
            if (play.is_object()) summary = server::summaryOfPlay(play);
        } catch (const nlohmann::json::exception&) {
            // kept by another version: nothing to judge by
        }
        if (!r.held.empty()) {
            ++held;
            list(r, " (held)", r.held + pressesOf(summary));
            continue;
        }
        std::string why;
        for (const server::PersonReason& reason : server::personReasons(summary)) why += (why.empty() ? "" : "; ") + reason.text;
        if (why.empty()) continue;
        ++listed;
        list(r, " (on the boards)", why + pressesOf(summary));
    }
    std::printf("%d records held for review (bopatron-server demo ID > round.dem, then bopatron --play=round.dem,\n"
                "to watch one; approve ID or remove ID); %d on the boards played as no person plays\n", held, listed);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    // A file grown past its limit is a full disk: an error to answer, not a signal to die of.
    std::signal(SIGXFSZ, SIG_IGN);
    server::HttpOptions options;
    std::string database;
    std::string command;
    long long recordId = 0;
    std::string backupFile;
    double keepDays = 7;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&arg](const char* name) -> std::optional<std::string> {
            const std::string prefix = std::string(name) + "=";
            if (arg.rfind(prefix, 0) != 0) return std::nullopt;
            return arg.substr(prefix.size());
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("%s\n", kVersion);
            return 0;
        } else if (auto v = value("--bind")) {
            if (v->empty()) return usageError("--bind needs an address");
            options.bind = *v;
        } else if (auto v = value("--port")) {
            char* end = nullptr;
            const long port = std::strtol(v->c_str(), &end, 10);
            if (v->empty() || *end != '\0' || port < 0 || port > 65535) return usageError("--port must be 0 to 65535, not '" + *v + "'");
            options.port = static_cast<unsigned short>(port);
        } else if (auto v = value("--database")) {
            if (v->empty()) return usageError("--database needs a path");
            database = *v;
        } else if (auto v = value("--site")) {
            if (!std::filesystem::is_directory(*v)) return usageError("--site: '" + *v + "' is not a folder");
            options.site = *v;
        } else if (auto v = value("--trusted-proxy")) {
            // Kept as the peer's address is written (::1, not 0:0::1), which it is compared with.
            unsigned char bytes[16];
            char canonical[INET6_ADDRSTRLEN];
            const int family = inet_pton(AF_INET, v->c_str(), bytes) == 1    ? AF_INET
                               : inet_pton(AF_INET6, v->c_str(), bytes) == 1 ? AF_INET6
                                                                              : 0;
            if (!family || !inet_ntop(family, bytes, canonical, sizeof canonical))
                return usageError("--trusted-proxy must be an IP address, not '" + *v + "'");
            options.trustedProxy = canonical;
        } else if (auto v = value("--keep-sessions")) {
            char* end = nullptr;
            keepDays = std::strtod(v->c_str(), &end);
            if (v->empty() || *end != '\0' || !(keepDays > 0) || keepDays > 36500)
                return usageError("--keep-sessions must be a number of days above 0, not '" + *v + "'");
        } else if (command.empty() && (arg == "check" || arg == "review" || arg == "remove" || arg == "approve" ||
                                       arg == "demo" || arg == "backup")) {
            command = arg;
            if (arg == "backup") {
                if (i + 1 >= argc || argv[i + 1][0] == '\0' || argv[i + 1][0] == '-') return usageError("backup needs a file to write");
                backupFile = argv[++i];
            }
            if (arg == "remove" || arg == "approve" || arg == "demo") {
                char* end = nullptr;
                recordId = i + 1 < argc ? std::strtoll(argv[i + 1], &end, 10) : 0;
                if (recordId <= 0 || *end != '\0') return usageError(arg + " needs a record number");
                ++i;
            }
        } else {
            return usageError("unknown option '" + arg + "'");
        }
    }
    if (database.empty()) database = defaultDatabase();
    try {
        // A postgresql:// address is a database several servers share; anything else a SQLite file.
        const bool shared = database.rfind("postgresql://", 0) == 0 || database.rfind("postgres://", 0) == 0;
        if (command == "backup") {
            if (shared) return usageError("backup copies a SQLite table; back PostgreSQL up with pg_dump (see docs/WORLD.md)");
            if (!std::filesystem::exists(database)) {
                std::fprintf(stderr, "bopatron-server: %s: there is no table to back up\n", database.c_str());
                return 1;
            }
            if (const std::string why = server::SqliteStore::backup(database, backupFile); !why.empty()) {
                std::fprintf(stderr, "bopatron-server: %s\n", why.c_str());
                return 1;
            }
            std::printf("%s is a copy of %s as it was when the backup began\n", backupFile.c_str(), database.c_str());
            return 0;
        }
        std::unique_ptr<server::Store> opened;
        if (shared) {
            opened = std::make_unique<server::PostgresStore>(database);
            // A call to PostgreSQL waits for the network and the log's flush: more threads keep
            // the other connections served meanwhile, each with a connection of its own.
            options.networkThreads = server::PostgresStore::kConnections - options.replayThreads;
        } else {
            opened = std::make_unique<server::SqliteStore>(database);
        }
        server::Store& store = *opened;
        if (command == "review") return review(store);
        if (command == "remove") {
            if (!store.removeRecord(recordId)) {
                std::fprintf(stderr, "bopatron-server: there is no record %lld on the boards\n", recordId);
                return 1;
            }
            std::printf("record %lld is off the boards (its demo is kept)\n", recordId);
            return 0;
        }
        if (command == "approve") {
            if (!store.approveRecord(recordId)) {
                std::fprintf(stderr, "bopatron-server: record %lld is not held for review\n", recordId);
                return 1;
            }
            std::printf("record %lld is on the boards, ranked by when it was played\n", recordId);
            return 0;
        }
        if (command == "demo") {
            const auto r = store.record(recordId);
            if (!r) {
                std::fprintf(stderr, "bopatron-server: there is no record %lld\n", recordId);
                return 1;
            }
            const std::string text = server::recordDemo(store, *r);
            return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0 ? 0 : 1;
        }
        const server::Replayer replayer = server::loadReplayer(image::programFolder(argv[0], BOPATRON_SERVER_DATA_RELATIVE), image::decodePng);
        if (command == "check") return check(store, replayer);
        server::Api api(store, replayer, {nowMs}, logLine);
        const long descriptors = server::openFileLimit();
        options.mostConnections = static_cast<int>(std::max(16L, descriptors - server::kReservedDescriptors));
        logLine("holds up to " + std::to_string(options.mostConnections) + " connections (open-file limit " +
                std::to_string(descriptors) + ", " + std::to_string(server::kReservedDescriptors) +
                " kept for the database, the log and the site); beyond them, the one waiting longest for a request "
                "makes room, or the newcomer is answered 503");
        server::HttpServer http(api, options, logLine);
        http.listen();
        const Purger purger(store, keepDays);
        logLine("listening on http://" + options.bind + ":" + std::to_string(http.port()) + "/ with " + (shared ? std::string("a PostgreSQL database") : database));
        http.run();
        logLine("stopped; the database is closed");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bopatron-server: %s\n", e.what());
        return 1;
    }
    return 0;
}
