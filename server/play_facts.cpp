// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/play_facts.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace bopatron::server {

namespace {

constexpr long kSecondTicks = 1000 / game::kTickMs;
// Intervals of hammering it takes to tell a machine's constant period from a hand's.
constexpr int kRhythmIntervals = 50;

float distance(float x0, float y0, float x1, float y1) { return std::hypot(x1 - x0, y1 - y0); }

// Each of a spawn's row and column is 0 or 1 with chance 1 / kHolePick, and 2 with the rest.
double pickChance(int index) { return index < 2 ? 1 / game::kHolePick : (game::kHolePick - 2) / game::kHolePick; }

template <typename Each>
void eachHole(Each each) {
    for (int col = 0; col <= 2; ++col)
        for (int row = 0; row <= 2; ++row) each(row, col);
}

// Whether (x, y) lies on a hole's spot: strictly inside one of the frames its rat shows
// while it is up, as a press must be to hit it.
bool onSpot(const game::GameState& s, int row, int col, float x, float y) {
    for (int f = 1; f <= game::kPopUpPos; ++f) {
        const float left = static_cast<float>(s.holeX[row][col] + s.spr.sprOffX[f]);
        const float top = static_cast<float>(s.holeY[row][col] + s.spr.sprOffY[f]);
        if (left < x && x < left + s.spr.sprW[f] && top < y && y < top + s.spr.sprH[f]) return true;
    }
    return false;
}

int deviationMs(const std::vector<int>& ms) {
    if (ms.empty()) return 0;
    double sum = 0, squares = 0;
    for (const int m : ms) sum += m;
    const double mean = sum / static_cast<double>(ms.size());
    for (const int m : ms) squares += (m - mean) * (m - mean);
    return static_cast<int>(std::lround(std::sqrt(squares / static_cast<double>(ms.size()))));
}

void summarizePresses(const std::vector<Press>& presses, ReactionSummary& s) {
    s.presses = static_cast<int>(presses.size());
    std::vector<int> gaps;
    for (std::size_t i = 0, first = 0; i < presses.size(); ++i) {
        if (presses[i].points == 0) ++s.missed;
        while (presses[i].tick - presses[first].tick >= kSecondTicks) ++first;
        s.fastestSecond = std::max(s.fastestSecond, static_cast<int>(i - first + 1));
        if (i > 0 && presses[i].tick - presses[i - 1].tick <= kHammerGapTicks)
            gaps.push_back(static_cast<int>(presses[i].tick - presses[i - 1].tick) * game::kTickMs);
    }
    s.hammerIntervals = static_cast<int>(gaps.size());
    s.hammerSpreadMs = deviationMs(gaps);
    // A constant period, seen through a 20 ms clock, gives the two tick counts around it and no other.
    const auto [least, most] = std::minmax_element(gaps.begin(), gaps.end());
    s.machineRhythm = s.hammerIntervals >= kRhythmIntervals && *most - *least <= game::kTickMs;
}

// The least-squares line of the reactions on their reaches' bits: its slope, the slope's
// standard error from the scatter about it, and the normal chance of a slope this low from
// a hand whose true slope is kLeastReachSlope.
void summarizeReaches(const std::vector<std::pair<double, double>>& reaches, ReactionSummary& s) {
    s.reaches = static_cast<int>(reaches.size());
    const auto n = static_cast<double>(reaches.size());
    double meanBits = 0, meanMs = 0;
    for (const auto& [bits, ms] : reaches) meanBits += bits / n, meanMs += ms / n;
    double sxx = 0, sxy = 0;
    for (const auto& [bits, ms] : reaches) sxx += (bits - meanBits) * (bits - meanBits), sxy += (bits - meanBits) * (ms - meanMs);
    if (reaches.size() < 3 || sxx < 1e-9) return;
    s.reachSlope = sxy / sxx;
    double residuals = 0;
    for (const auto& [bits, ms] : reaches) {
        const double off = ms - meanMs - s.reachSlope * (bits - meanBits);
        residuals += off * off;
    }
    s.reachSlopeError = std::sqrt(residuals / (n - 2) / sxx);
    s.reachOdds = s.reachSlopeError > 0 ? 0.5 * std::erfc((kLeastReachSlope - s.reachSlope) / s.reachSlopeError / std::sqrt(2.0))
                                        : (s.reachSlope < kLeastReachSlope ? 0 : 1);
}

}  // namespace

double chanceOfAtLeast(int k, const std::vector<double>& chances) {
    if (k <= 0) return 1;
    if (k > static_cast<int>(chances.size())) return 0;
    // exactly[j]: the chance of j successes so far, j < k; what passes k is summed apart.
    std::vector<double> exactly(static_cast<std::size_t>(k), 0.0);
    exactly[0] = 1;
    double atLeast = 0;
    for (const double p : chances) {
        atLeast += exactly[k - 1] * p;
        for (std::size_t j = exactly.size() - 1; j > 0; --j) exactly[j] = exactly[j] * (1 - p) + exactly[j - 1] * p;
        exactly[0] *= 1 - p;
    }
    return atLeast;
}

ReactionSummary summarize(const RoundPlay& play) {
    ReactionSummary s;
    summarizePresses(play.presses, s);
    s.whacks = static_cast<int>(play.whacks.size());
    std::vector<int> ms;
    std::vector<double> early;
    std::vector<std::pair<double, double>> reaches;  // bits, ms
    for (const Whack& w : play.whacks) {
        const Press& press = play.presses[w.press];
        const Press* before = w.press > 0 ? &play.presses[w.press - 1] : nullptr;
        const long gap = before ? press.tick - before->tick : 0;
        // The rat came up where the pointer was hammering, after the press before this one.
        if (before && gap >= 1 && gap <= kHammerGapTicks && before->tick < w.shownTick &&
            distance(before->x, before->y, press.x, press.y) <= kOnTheSpot) {
            ++s.lucky;
            const long quarter = (gap + 3) / 4;
            if (press.tick - w.shownTick < quarter) ++s.luckyEarly;
            early.push_back(static_cast<double>(quarter) / static_cast<double>(gap));
            continue;
        }
        ms.push_back(w.reactionMs());
        if (w.free) {
            reaches.emplace_back(w.bits, w.reactionMs());
            // The press came within the tick that followed, as for the floor above: a hand that
            // reached a bit or more took at least kLeastReachSlope a bit on top of the fastest
            // reaction (a rat that came up under the hand, or a press where it rests, is the floor's own).
            if (w.bits >= 1 && w.travel > kOnTheSpot && w.reactionMs() + game::kTickMs <= kHumanFloorMs + kLeastReachSlope * w.bits)
                ++s.underReachFloor;
        }
        // The press came within the tick that followed: at most 20 ms after the lower bound.
        // A rat that came up under a hand already there and pressing is luck, not a reaction:
        // only a hand that moved to its rat is too fast.
        if (w.reactionMs() + game::kTickMs <= kHumanFloorMs && w.travel > kOnTheSpot) ++s.underFloor;
    }
    for (const double p : early) s.luckyEarlyByChance += p;
    s.luckyEarlyOdds = chanceOfAtLeast(s.luckyEarly, early);
    s.reactions = static_cast<int>(ms.size());
    if (!ms.empty()) {
        std::sort(ms.begin(), ms.end());
        s.fastestMs = ms.front();
        s.medianMs = ms[ms.size() / 2];
        s.thirdQuartileMs = ms[ms.size() * 3 / 4];
        s.spreadMs = deviationMs(ms);
    }
    summarizeReaches(reaches, s);
    std::vector<double> chances;
    for (const RatShown& r : play.rats) {
        chances.push_back(r.chance);
        s.underPointerByChance += r.chance;
        if (r.underPointer) ++s.underPointer;
    }
    s.ratsShown = static_cast<int>(play.rats.size());
    s.underPointerOdds = chanceOfAtLeast(s.underPointer, chances);
    return s;
}

PlayWatcher::PlayWatcher(const game::GameState& state) : state_(state) { newGame(); }

void PlayWatcher::newGame() {
    eachHole([&](int row, int col) { shownAt_[row][col] = goneAt_[row][col] = -1; });
    play_ = {};
}

void PlayWatcher::beforeTick() {
    eachHole([&](int row, int col) { before_[row][col] = state_.ratPos[row][col]; });
}

void PlayWatcher::cameUp(long sessionTicks, int row, int col) {
    // The spawn picks a hole by its row and column; one that is not empty gives no rat. So a
    // rat comes up in each empty hole in proportion to its pick, wherever the pointer is.
    double empty = 0, pointed = 0;
    eachHole([&](int r, int c) {
        if (before_[r][c] != 0) return;
        const double pick = pickChance(r) * pickChance(c);
        empty += pick;
        if (onSpot(state_, r, c, at_.x, at_.y)) pointed += pick;
    });
    play_.rats.push_back({sessionTicks, row, col, at_.x, at_.y, onSpot(state_, row, col, at_.x, at_.y),
                          empty > 0 ? pointed / empty : 0});
}

void PlayWatcher::afterTick(long sessionTicks) {
    eachHole([&](int row, int col) {
        const std::int16_t was = before_[row][col], now = state_.ratPos[row][col];
        if (now == 0) shownAt_[row][col] = -1;
        if (now == 0 && was != 0) goneAt_[row][col] = sessionTicks;
        if (now == 0 || now > game::kPopUpPos) return;  // empty, or whacked (and counted then)
        // A hole is drawn before its step: a rat that came up this tick at its first frame.
        const std::int16_t drawn = was == 0 ? game::kPopUpPos : was;
        if (was == 0) {
            shownAt_[row][col] = -2;  // the round's own rat, not shown yet
            followed_[row][col] = goneAt_[row][col] >= 0 && sessionTicks - goneAt_[row][col] <= kFollowTicks;
            cameUp(sessionTicks, row, col);
        }
        if (shownAt_[row][col] != -2) return;   // shown already, or up since before the round
        if (state_.spr.sprW[drawn] <= 0 || state_.spr.sprH[drawn] <= 0) return;  // nothing of it to see yet
        shownAt_[row][col] = sessionTicks;
        travelAtShow_[row][col] = travel_;
        const float width = state_.spr.sprW[drawn];
        const float midX = static_cast<float>(state_.holeX[row][col] + state_.spr.sprOffX[drawn]) + width / 2;
        const float midY = static_cast<float>(state_.holeY[row][col] + state_.spr.sprOffY[drawn]) + state_.spr.sprH[drawn] / 2.0f;
        bitsAtShow_[row][col] = std::log2(distance(at_.x, at_.y, midX, midY) / width + 1);
    });
}

void PlayWatcher::moved(float x, float y) {
    travel_ += distance(at_.x, at_.y, x, y);
    at_ = {x, y};
}

void PlayWatcher::beforePress() { beforeTick(); }

void PlayWatcher::afterPress(long sessionTicks) {
    const std::size_t press = play_.presses.size();
    const auto whacked = static_cast<std::ptrdiff_t>(play_.whacks.size());  // this press's whacks come after
    play_.presses.push_back({sessionTicks, at_.x, at_.y, 0});
    eachHole([&](int row, int col) {
        const std::int16_t was = before_[row][col];
        if (was < 1 || was > game::kPopUpPos || state_.ratPos[row][col] != game::kWhackedPos) return;
        play_.presses[press].points += 3 * was;
        if (shownAt_[row][col] >= 0) {
            Whack w;
            w.shownTick = shownAt_[row][col];
            w.pressTick = sessionTicks;
            w.points = 3 * was;
            w.row = row;
            w.col = col;
            w.press = press;
            w.travel = travel_ - travelAtShow_[row][col];
            w.bits = bitsAtShow_[row][col];
            w.free = (press == 0 || play_.presses[press - 1].tick <= w.shownTick) && !followed_[row][col];
            play_.whacks.push_back(w);
        }
        shownAt_[row][col] = -1;
    });
    // A press that whacks several rats reached for the one that showed first; the others were in its way.
    const auto first = play_.whacks.begin() + whacked;
    const auto aimed = std::min_element(first, play_.whacks.end(), [](const Whack& a, const Whack& b) { return a.shownTick < b.shownTick; });
    for (auto w = first; w != play_.whacks.end(); ++w) w->free = w->free && w == aimed;
}

RoundPlay PlayWatcher::take() { return std::exchange(play_, {}); }

}  // namespace bopatron::server
