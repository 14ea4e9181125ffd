// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The person check against the bots and the model of a person: ROUNDS rounds
// of each player at each difficulty from 0 to 8 (seeds and values from a fixed
// sequence), each played, replayed by the server's own verification and judged
// by its rules. Prints, for each player, its typical reactions and how many of
// its rounds the rules hold; and how long judging adds to a round's replay.
// usage: person_bench PROGRAM_FOLDER [ROUNDS [PLAYER...]] (every player when none is named)
#include "image/png_decoder.h"
#include "server/person_check.h"
#include "server/replay_state.h"
#include "tools/bots/round.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace bopatron;

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: person_bench PROGRAM_FOLDER [ROUNDS [PLAYER...]]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 5;
    const server::Replayer replayer = server::loadReplayer(argv[1], image::decodePng);
    std::mt19937_64 seeds(20261208);
    std::printf("| player | rounds | whacks a round | lucky | median reaction ms | under the floor | spread ms | "
                "presses a round (most in a second) | under the pointer (chance) | judged | held | held for |\n"
                "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
    for (const bots::Kind kind : bots::kKinds) {
        if (argc > 3 && std::find(argv + 3, argv + argc, bots::nameOf(kind)) == argv + argc) continue;
        int held = 0, played = 0, judged = 0, fastestSecond = 0;
        std::vector<int> medians, spreads;
        long whacks = 0, lucky = 0, reactions = 0, under = 0, waiting = 0, presses = 0;
        double chance = 0;
        std::map<std::string, int> why;
        for (int difficulty = 0; difficulty <= 8; ++difficulty) {
            for (int i = 0; i < rounds; ++i) {
                const bots::RoundPlan plan{kind, seeds(), seeds(), difficulty, static_cast<std::uint32_t>(seeds()), {}};
                const std::string text = bots::playRound(plan, argv[1], replayer.pictures);
                const server::RoundFacts facts = server::replayRound(text, 1, replayer);
                if (facts.failed) {
                    std::fprintf(stderr, "person_bench: a %s round does not verify: %s\n", bots::nameOf(kind).data(),
                                 facts.failed->message.c_str());
                    return 1;
                }
                const server::ReactionSummary& r = facts.reactions;
                ++played;
                if (r.reactions >= server::kLeastWhacks) ++judged;
                whacks += r.whacks;
                lucky += r.lucky;
                reactions += r.reactions;
                under += r.underFloor;
                waiting += r.underPointer;
                chance += r.underPointerByChance;
                presses += r.presses;
                fastestSecond = std::max(fastestSecond, r.fastestSecond);
                if (r.reactions > 0) medians.push_back(r.medianMs);
                if (r.reactions > 0) spreads.push_back(r.spreadMs);
                const std::vector<server::PersonReason> reasons = server::personReasons(r);
                if (!reasons.empty()) ++held;
                // A bot's round that passes, or a person's that is held: which, to look at.
                if (reasons.empty() != bots::isPerson(kind))
                    std::fprintf(stderr, "person_bench: %s at %d (seed %llu, value %llu, bot %u) %s: %s\n",
                                 bots::nameOf(kind).data(), difficulty, static_cast<unsigned long long>(plan.seed),
                                 static_cast<unsigned long long>(*plan.value), plan.botSeed, reasons.empty() ? "passes" : "held",
                                 server::reactionsJson(r).dump().c_str());
                for (const server::PersonReason& reason : reasons) ++why[reason.rule];
            }
        }
        std::sort(medians.begin(), medians.end());
        std::sort(spreads.begin(), spreads.end());
        const auto middle = [](const std::vector<int>& v) { return v.empty() ? 0 : v[v.size() / 2]; };
        std::string reasons;
        for (const auto& [reason, n] : why) reasons += (reasons.empty() ? "" : "; ") + std::to_string(n) + "× " + reason;
        std::printf("| %s | %d | %.1f | %.1f | %d | %.1f %% | %d | %.0f (%d) | %ld (%.0f) | %d | %d (%.1f %%) | %s |\n",
                    bots::nameOf(kind).data(), played, static_cast<double>(whacks) / played,
                    static_cast<double>(lucky) / played, middle(medians),
                    reactions ? 100.0 * static_cast<double>(under) / static_cast<double>(reactions) : 0.0,
                    middle(spreads), static_cast<double>(presses) / played, fastestSecond, waiting, chance, judged, held,
                    100.0 * held / played, reasons.c_str());
        std::fflush(stdout);
    }
    return 0;
}
