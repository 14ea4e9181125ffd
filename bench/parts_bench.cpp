// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// What a round's first three seconds tell of its score, now that a client holds
// a round's randomness only three seconds ahead: ROUNDS rounds of the model of a
// person at difficulty 0 (seeds, values and parts from a fixed sequence), each
// played to its end. A look at a round's first three seconds (its value and
// parts 2 and 3) can play them, and no further: so the score after the round's
// 150th tick is all it tells. Prints the correlation between that score and the
// score the round places, and what a client gains by playing on only the round
// whose first three seconds score best of every 10 it looks at (asking a value,
// looking, abandoning), beside what a client that knew a whole round from its
// value alone gained by the same choice.
// usage: parts_bench PROGRAM_FOLDER [ROUNDS]
#include "image/png_decoder.h"
#include "server/replay.h"
#include "tools/bots/round.h"

#include <cmath>
#include <cstdio>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using namespace bopatron;

namespace {

double mean(const std::vector<double>& v) { return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size()); }

double deviation(const std::vector<double>& v) {
    const double m = mean(v);
    double sum = 0;
    for (const double x : v) sum += (x - m) * (x - m);
    return std::sqrt(sum / static_cast<double>(v.size() - 1));
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const double ma = mean(a), mb = mean(b);
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: parts_bench PROGRAM_FOLDER [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 1000;
    if (rounds < 10) {
        std::fprintf(stderr, "parts_bench: at least 10 rounds\n");
        return 2;
    }
    const server::Replayer replayer = server::loadReplayer(argv[1], image::decodePng);
    std::mt19937_64 seeds(20261209);
    std::vector<double> early, placed;
    for (int i = 0; i < rounds; ++i) {
        bots::RoundPlan plan{bots::Kind::Person, seeds(), seeds(), 0, static_cast<std::uint32_t>(seeds()), {}};
        for (int k = 2; k <= world::kRoundParts; ++k) plan.parts.push_back(seeds());
        double at150 = 0, at999 = 0;
        bots::playRound(plan, argv[1], replayer.pictures, {}, [&](long tick, std::int16_t score) {
            if (tick == 3 * world::kTicksAPart) at150 = score;
            if (tick == 999) at999 = score;  // the score the round's last tick places
        });
        early.push_back(at150);
        placed.push_back(at999);
    }
    // Every 10 rounds looked at, the one whose first three seconds scored best played on; and,
    // for a client that knew a whole round from its value, the best whole round of the 10.
    std::vector<double> chosen, wholeChosen;
    for (std::size_t g = 0; g + 10 <= early.size(); g += 10) {
        std::size_t best = g, wholeBest = g;
        for (std::size_t i = g; i < g + 10; ++i) {
            if (early[i] > early[best]) best = i;
            if (placed[i] > placed[wholeBest]) wholeBest = i;
        }
        chosen.push_back(placed[best]);
        wholeChosen.push_back(placed[wholeBest]);
    }
    std::printf("rounds: %d (a person, difficulty 0)\n", rounds);
    std::printf("score placed: mean %.1f, standard deviation %.1f\n", mean(placed), deviation(placed));
    std::printf("score after the first 3 s: mean %.1f, standard deviation %.1f\n", mean(early), deviation(early));
    std::printf("correlation of the two: %.3f (the first 3 s explain %.1f %% of the score's variance)\n",
                correlation(early, placed), 100 * correlation(early, placed) * correlation(early, placed));
    std::printf("best first 3 s of every 10, played on: mean %.1f over %zu rounds, a gain of %.1f (%.2f standard deviations)\n",
                mean(chosen), chosen.size(), mean(chosen) - mean(placed), (mean(chosen) - mean(placed)) / deviation(placed));
    std::printf("best whole round of every 10 (a client that knew a round from its value alone): mean %.1f, a gain of %.1f (%.2f)\n",
                mean(wholeChosen), mean(wholeChosen) - mean(placed), (mean(wholeChosen) - mean(placed)) / deviation(placed));
    return 0;
}
