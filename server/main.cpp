// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// bopatron-server: the world table. Hands each session its seed, takes the
// session's demo as it is played, plays every round that claims a place
// again on its own core and times it on its own clock before ranking it.
#include "demo/demo_file.h"
#include "image/png_decoder.h"
#include "image/program_folder.h"
#include "server/api.h"
#include "server/command_line.h"
#include "server/http_server.h"
#include "server/person_check.h"
#include "server/postgres_store.h"
#include "server/replay_state.h"
#include "server/retention.h"
#include "server/sqlite_store.h"
#include "server/text.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

using namespace bopatron;

std::mutex logMutex;
void logLine(const std::string& line) {
    std::lock_guard lock(logMutex);
    std::fprintf(stderr, "bopatron-server: %s\n", line.c_str());
}

int usageError(const std::string& why) {
    std::fprintf(stderr, "bopatron-server: %s (see --help)\n", why.c_str());
    return 2;
}

int failed(const std::string& why) {
    std::fprintf(stderr, "bopatron-server: %s\n", why.c_str());
    return 1;
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

// What a command works on: the command line, the table it opened, and the program's folder.
struct Context {
    const server::CommandLine& line;
    server::Store& store;
    bool shared;       // a PostgreSQL database several servers share
    const char* argv0;
    server::Replayer replayer() const {
        return server::loadReplayer(image::programFolder(argv0, BOPATRON_SERVER_DATA_RELATIVE), image::decodePng);
    }
};

int check(Context& c) {
    const server::Replayer replayer = c.replayer();
    server::Judge judge(c.store, replayer);
    int bad = 0, total = 0;
    for (const server::RecordRow& r : c.store.allRecords()) {
        ++total;
        const server::Judgement j = judge.recheck(r);
        if (j.kind == server::Judgement::Kind::Placed) continue;
        std::printf("record %lld%s no longer matches: %s: %s\n", r.id, r.removed ? " (removed)" : "", j.verdict.code.c_str(),
                    j.verdict.message.c_str());
        ++bad;
    }
    std::printf("%d records checked, %d no longer match%s\n", total, bad, bad ? " (kept as they are)" : "");
    return bad ? 1 : 0;
}

// How a record's free reactions grew with the reach, for the operator to weigh.
std::string reachesOf(const server::ReactionSummary& s) {
    if (s.reaches == 0) return "";
    char text[160];
    std::snprintf(text, sizeof text, "; %d of %d free reactions under the floor of a reach, which grew by %.0f ms a bit (± %.0f)",
                  s.underReachFloor, s.reaches, s.reachSlope, s.reachSlopeError);
    return text;
}

// How a record's round was pressed, for the operator to weigh: "" when it was kept without.
std::string pressesOf(const server::ReactionSummary& s) {
    if (s.presses == 0) return "";
    return " [" + std::to_string(s.presses) + " presses, " + std::to_string(s.missed) + " hitting nothing, up to " +
           std::to_string(s.fastestSecond) + " in a second; " + std::to_string(s.lucky) + " of " +
           std::to_string(s.whacks) + " whacks lucky hammering; " + std::to_string(s.underPointer) + " of " +
           std::to_string(s.ratsShown) + " rats came up under the pointer" + reachesOf(s) + "]";
}

// The records held for review, and any on the boards whose play breaks the person
// check and no operator approved (placed before it held rounds), best score first,
// each with why.
int review(Context& c) {
    std::vector<server::RecordRow> records = c.store.allRecords();
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

int remove(Context& c) {
    if (!c.store.removeRecord(c.line.record)) return failed("there is no record " + std::to_string(c.line.record) + " on the boards");
    std::printf("record %lld is off the boards (its demo is kept)\n", c.line.record);
    return 0;
}

int approve(Context& c) {
    if (!c.store.approveRecord(c.line.record)) return failed("record " + std::to_string(c.line.record) + " is not held for review");
    std::printf("record %lld is on the boards, ranked by when it was played\n", c.line.record);
    return 0;
}

int demo(Context& c) {
    const auto r = c.store.record(c.line.record);
    if (!r) return failed("there is no record " + std::to_string(c.line.record));
    const std::string text = demo::demoThrough(c.store.log(r->session).text, r->lines);
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0 ? 0 : 1;
}

int serve(Context& c) {
    server::HttpOptions options = c.line.http;
    // A call to PostgreSQL waits for the network and the log's flush: more threads keep
    // the other connections served meanwhile, each with a connection of its own.
    if (c.shared) options.networkThreads = server::PostgresStore::kConnections - options.replayThreads;
    const server::Replayer replayer = c.replayer();
    server::Api api(c.store, replayer, {nowMs}, logLine);
    const long descriptors = server::openFileLimit();
    options.mostConnections = static_cast<int>(std::max(16L, descriptors - server::kReservedDescriptors));
    logLine("holds up to " + std::to_string(options.mostConnections) + " connections (open-file limit " +
            std::to_string(descriptors) + ", " + std::to_string(server::kReservedDescriptors) +
            " kept for the database, the log and the site); beyond them, the one waiting longest for a request "
            "makes room, or the newcomer is answered 503");
    server::HttpServer http(api, options, logLine);
    http.listen();
    const server::Purger purger(c.store, c.line.retention, nowMs, logLine);
    logLine("listening on http://" + options.bind + ":" + std::to_string(http.port()) + "/ with " +
            (c.shared ? std::string("a PostgreSQL database") : c.line.database));
    http.run();
    logLine("stopped; the database is closed");
    return 0;
}

// backup needs no table open: it copies the file.
int backup(const server::CommandLine& line, bool shared) {
    if (shared) return usageError("backup copies a SQLite table; back PostgreSQL up with pg_dump (see docs/WORLD.md)");
    if (!std::filesystem::exists(line.database)) return failed(line.database + ": there is no table to back up");
    if (const std::string why = server::SqliteStore::backup(line.database, line.file); !why.empty()) return failed(why);
    std::printf("%s is a copy of %s as it was when the backup began\n", line.file.c_str(), line.database.c_str());
    return 0;
}

const std::map<std::string, int (*)(Context&)> kCommands = {
    {"", serve}, {"check", check}, {"review", review}, {"approve", approve}, {"remove", remove}, {"demo", demo},
};

}  // namespace

int main(int argc, char* argv[]) {
    // A file grown past its limit is a full disk: an error to answer, not a signal to die of.
    std::signal(SIGXFSZ, SIG_IGN);
    server::CommandLine line = server::readCommandLine({argv + 1, argv + argc});
    if (!line.error.empty()) return usageError(line.error);
    if (line.help) return std::fputs(server::kUsage, stdout) >= 0 ? 0 : 1;
    if (line.version) return std::printf("%s\n", server::kVersion) > 0 ? 0 : 1;
    if (line.database.empty()) line.database = defaultDatabase();
    // A postgresql:// address is a database several servers share; anything else a SQLite file.
    const bool shared = line.database.rfind("postgresql://", 0) == 0 || line.database.rfind("postgres://", 0) == 0;
    try {
        if (line.command == "backup") return backup(line, shared);
        std::unique_ptr<server::Store> store;
        if (shared) store = std::make_unique<server::PostgresStore>(line.database);
        else store = std::make_unique<server::SqliteStore>(line.database);
        Context context{line, *store, shared, argv[0]};
        return kCommands.at(line.command)(context);
    } catch (const std::exception& e) {
        return failed(e.what());
    }
}
