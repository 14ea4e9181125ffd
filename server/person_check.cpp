// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/person_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bopatron::server {

double chanceOfAtLeast(int k, int n, double p) {
    if (k <= 0) return 1;
    if (k > n) return 0;
    // The binomial's tail, term by term from k: C(n, j) p^j (1 - p)^(n - j).
    double term = std::pow(p, k) * std::pow(1 - p, n - k), sum = 0;
    for (int j = 0; j < k; ++j) term *= static_cast<double>(n - j) / static_cast<double>(j + 1);
    for (int j = k; j <= n; ++j) {
        sum += term;
        if (j < n) term *= static_cast<double>(n - j) / static_cast<double>(j + 1) * (p / (1 - p));
    }
    return sum;
}

std::vector<PersonReason> personReasons(const ReactionSummary& r) {
    std::vector<PersonReason> reasons;
    if (r.whacks < kLeastWhacks) return reasons;
    const std::string of = " of " + std::to_string(r.whacks) + " whacks";
    // A press at most 100 ms after the rat showed is faster than a person reacts;
    // a few may be luck (a press already on its way), a fifth of them is not.
    if (r.underFloor >= 3 && r.underFloor * 5 >= r.whacks)
        reasons.push_back({"under-floor", std::to_string(r.underFloor) + of + " came faster than a person reacts"});
    if (r.thirdQuartileMs < kLeastThirdQuartileMs)
        reasons.push_back({"quick", "three in four of its whacks came within " + std::to_string(r.thirdQuartileMs + 20) +
                                        " ms of their rat showing, sooner than a person sees a rat and reaches it"});
    if (r.spreadMs < kLeastSpreadMs)
        reasons.push_back({"spread", "its reactions hardly vary (by " + std::to_string(r.spreadMs) + " ms), as no person's do"});
    // The pointer on a hole before its rat came: chance gives about one whack in nine
    // (each whack's odds from the spawn's own draws); that many or more as seldom as
    // four standard deviations above the mean is no chance, however few the whacks.
    const double chance = r.arrivedByChance;
    if (r.arrivedBefore > chance &&
        chanceOfAtLeast(r.arrivedBefore, r.whacks, std::clamp(chance / r.whacks, 0.0, 1.0)) < kWaitingOdds) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "%.0f", chance);
        reasons.push_back({"waiting", "the pointer was waiting where the rat came up before it came for " +
                                          std::to_string(r.arrivedBefore) + of + ", where chance gives about " + expected});
    }
    return reasons;
}

}  // namespace bopatron::server
