// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The world table's costs on this machine: verifying a 1000-tick round (its
// lines scanned, then played again from where the session's replay stopped,
// every frame checksummed) side by side with its floor, the four-lane
// checksum alone over 1000 frames, which every recorded demo fixes; the
// memory one verification adds; and the latency of batch requests (each
// stored and synced before it is answered), through the protocol on a
// database file. DEMO holds two rounds; the second is the one verified.
// usage: world_bench PROGRAM_FOLDER DEMO [FOLDER_FOR_THE_DATABASE]
#include "demo/checksum.h"
#include "demo/demo_file.h"
#include "image/png_decoder.h"
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
    const server::Replayer replayer = server::loadReplayer(argv[1], image::decodePng);
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

    // The verification and its floor, in turns, so that both see the same machine.
    server::ReplayState afterFirst;
    server::replayRound(text, 1, replayer, afterFirst);
    if (afterFirst.rounds.size() != 1 || afterFirst.rounds[0].failed) {
        std::fprintf(stderr, "world_bench: %s: its first round does not verify\n", argv[2]);
        return 1;
    }
    std::vector<double> checksums, verifications;
    const draw::Surface& frame = replayer.pictures.Picbuf;
    std::uint64_t sum = demo::kChecksumStart;
    const long rssBefore = maxRssKb();
    for (int run = 0; run < 21; ++run) {
        auto t0 = Clock::now();
        for (int i = 0; i < 1000; ++i) sum = demo::frameChecksum(sum, frame);
        checksums.push_back(ms(Clock::now() - t0));
        t0 = Clock::now();
        server::ReplayState state = afterFirst;
        const bool scanned = server::scanRound(text, 2).has_value();
        const server::RoundFacts facts = server::replayRound(text, 2, replayer, state);
        verifications.push_back(ms(Clock::now() - t0));
        if (!scanned || facts.failed || state.ticksReplayed != 1000) {
            std::fprintf(stderr, "world_bench: %s: its second round does not verify as a 1000-tick round\n", argv[2]);
            return 1;
        }
        if (run == 0) std::printf("memory: one verification adds %ld KiB to the peak (before it %ld KiB)\n",
                                  maxRssKb() - rssBefore, rssBefore);
    }
    const double checksum = percentile(checksums, 0.5), verification = percentile(verifications, 0.5);
    std::printf("checksum alone, 1000 frames of 437 x 284: median %.1f ms (%llx)\n", checksum,
                static_cast<unsigned long long>(sum & 0xf));
    std::printf("verify a 1000-tick round (scan, replay from the state kept): median %.1f ms, %.2f x the checksum "
                "(target <= 1.3)\n", verification, verification / checksum);

    // Streams the demo into new sessions, a batch every 50 ticks at the game's pace, and times each batch.
    std::vector<double> batches;
    for (int session = 0; session < 12; ++session) {
        const std::string id = std::to_string(1000000000000000 + session) + std::string(16, '0');
        store.createSession({id, std::stoull(lines[1].substr(5)), now, now, 0, 0});
        const std::int64_t start = now;
        long ticks = 0, from = 0;
        std::string body;
        for (long i = 0; i < static_cast<long>(lines.size()); ++i) {
            body += lines[i] + "\n";
            if (lines[i] != "tick" || ++ticks % 50 != 0) continue;
            now = start + 1000 + ticks * 20;
            const std::string target = "/api/sessions/" + id + "/lines?from=" + std::to_string(from);
            const auto t0 = Clock::now();
            const server::Response r = api.handle({"POST", target, body, "bench"});
            batches.push_back(ms(Clock::now() - t0));
            if (r.status != 200) std::fprintf(stderr, "world_bench: %d %s", r.status, r.body.c_str());
            from = i + 1;
            body.clear();
        }
        now += 60000;
    }
    std::printf("batch requests (50 ticks, synced): %zu, p50 %.2f ms, p99 %.2f ms (target p99 <= 10)\n", batches.size(),
                percentile(batches, 0.5), percentile(batches, 0.99));
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    return 0;
}
