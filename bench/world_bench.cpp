// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The world table's costs on this machine: verifying a placed 1000-tick round
// end to end (the session's lines read from the database, parsed, played
// again with every checksum, the record stored), the memory one verification
// adds, and the latency of batch requests (each stored and synced before it
// is answered), through the protocol on a database file.
// usage: world_bench PROGRAM_FOLDER DEMO [FOLDER_FOR_THE_DATABASE]
#include "demo/demo_file.h"
#include "headless/png_pictures.h"
#include "runtime/files.h"
#include "server/api.h"
#include "server/sqlite_store.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace bopatron;
using Clock = std::chrono::steady_clock;

namespace {

long maxRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: world_bench PROGRAM_FOLDER DEMO [FOLDER]\n");
        return 2;
    }
    const std::string folder = argc > 3 ? argv[3] : std::filesystem::temp_directory_path().string();
    const std::string path = folder + "/world-bench.db";
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    const server::Replayer replayer = server::loadReplayer(argv[1], headless::decodePng);
    const std::string text = runtime::readFile(argv[2], demo::kMostBytes).text;
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    std::int64_t now = 1796713200000;
    server::SqliteStore store(path);
    server::Api api(store, replayer, {[&now] { return now; }}, [](const std::string&) {});

    // Streams the demo's first round into a new session, a batch every 50 ticks
    // at the game's pace, and times each batch; the round's claim is timed apart.
    std::vector<double> batches, verifications;
    const long rssBefore = maxRssKb();
    for (int session = 0; session < 12; ++session) {
        const std::string id = std::to_string(1000000000000000 + session) + std::string(16, '0');
        store.createSession({id, std::stoull(lines[1].substr(5)), now, now, 0, 0});
        const std::int64_t start = now;
        long ticks = 0, from = 0, roundTicks = -1;
        std::string body;
        for (long i = 0; i < static_cast<long>(lines.size()); ++i) {
            body += lines[i] + "\n";
            if (lines[i] == "click") roundTicks = 0;
            const bool tick = lines[i] == "tick";
            if (tick) ++ticks, ++roundTicks;
            const bool closing = roundTicks >= 1000 && lines[i].rfind("checkpoint ", 0) == 0;
            if (!closing && !(tick && (ticks % 50 == 0 || roundTicks == 1 || roundTicks == 1000))) continue;
            now = start + 1000 + ticks * 20;
            std::string target = "/api/sessions/" + id + "/lines?from=" + std::to_string(from);
            if (closing) target += "&round=1&score=32767";  // a claim that surely places, to force the replay
            const auto t0 = Clock::now();
            const server::Response r = api.handle({"POST", target, body, "bench"});
            (closing ? verifications : batches).push_back(ms(Clock::now() - t0));
            if (r.status != 200) std::fprintf(stderr, "world_bench: %d %s", r.status, r.body.c_str());
            from = i + 1;
            body.clear();
            if (closing) break;
        }
        if (session == 0) std::printf("memory: one verification adds %ld KiB to the peak (before it %ld KiB)\n",
                                      maxRssKb() - rssBefore, rssBefore);
    }
    std::printf("verify a 1000-tick round end to end (claim refused only for its score): best %.1f ms, median %.1f ms "
                "(target <= 20)\n",
                percentile(verifications, 0), percentile(verifications, 0.5));
    std::printf("batch requests (50 ticks, synced): %zu, p50 %.2f ms, p99 %.2f ms (target p99 <= 10)\n", batches.size(),
                percentile(batches, 0.5), percentile(batches, 0.99));
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    return 0;
}
