// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/play_facts.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace bopatron::server {

namespace {

constexpr std::size_t kLookBack = 25;   // ticks: half a second before a rat shows
constexpr float kOnTheSpot = 12;        // pixels: the pointer is where it presses
constexpr float kElsewhere = 40;        // pixels: the pointer was somewhere else
constexpr double kHolePick = 2.99;      // each of a spawn's row and column: 0 or 1 at 1 / 2.99, 2 at 0.99 / 2.99

float distance(float x0, float y0, float x1, float y1) { return std::hypot(x1 - x0, y1 - y0); }

double pickChance(int index) { return index < 2 ? 1 / kHolePick : (kHolePick - 2) / kHolePick; }

template <typename Each>
void eachHole(Each each) {
    for (int col = 0; col <= 2; ++col)
        for (int row = 0; row <= 2; ++row) each(row, col);
}

}  // namespace

bool Whack::arrivedBefore() const {
    return distance(shownX, shownY, pressX, pressY) <= kOnTheSpot && distance(beforeX, beforeY, pressX, pressY) > kElsewhere;
}

ReactionSummary summarize(const std::vector<Whack>& whacks) {
    ReactionSummary s;
    s.whacks = static_cast<int>(whacks.size());
    if (whacks.empty()) return s;
    std::vector<int> ms;
    double sum = 0;
    for (const Whack& w : whacks) {
        ms.push_back(w.reactionMs());
        sum += w.reactionMs();
        // The press came within the tick that followed: at most 20 ms after the lower bound.
        if (w.reactionMs() + 20 <= kHumanFloorMs) ++s.underFloor;
        if (w.arrivedBefore()) ++s.arrivedBefore;
        s.arrivedByChance += pickChance(w.row) * pickChance(w.col);
    }
    std::sort(ms.begin(), ms.end());
    s.fastestMs = ms.front();
    s.medianMs = ms[ms.size() / 2];
    s.thirdQuartileMs = ms[ms.size() * 3 / 4];
    const double mean = sum / static_cast<double>(ms.size());
    double squares = 0;
    for (const int m : ms) squares += (m - mean) * (m - mean);
    s.spreadMs = static_cast<int>(std::lround(std::sqrt(squares / static_cast<double>(ms.size()))));
    return s;
}

PlayWatcher::PlayWatcher(const game::GameState& state) : state_(state) { newGame(); }

void PlayWatcher::newGame() {
    eachHole([&](int row, int col) { shownAt_[row][col] = -1; });
    whacks_.clear();
}

void PlayWatcher::beforeTick() {
    eachHole([&](int row, int col) { before_[row][col] = state_.ratPos[row][col]; });
}

void PlayWatcher::afterTick(long sessionTicks) {
    recent_.push_back(at_);
    if (recent_.size() > kLookBack + 1) recent_.erase(recent_.begin());
    eachHole([&](int row, int col) {
        const std::int16_t was = before_[row][col], now = state_.ratPos[row][col];
        if (now == 0) shownAt_[row][col] = -1;
        if (now == 0 || now > game::kPopUpPos) return;  // empty, or whacked (and counted then)
        // A hole is drawn before its step: a rat that came up this tick at its first frame.
        const std::int16_t drawn = was == 0 ? game::kPopUpPos : was;
        if (was == 0) shownAt_[row][col] = -2;  // the round's own rat, not shown yet
        if (shownAt_[row][col] != -2) return;   // shown already, or up since before the round
        if (state_.spr.sprW[drawn] <= 0 || state_.spr.sprH[drawn] <= 0) return;  // nothing of it to see yet
        shownAt_[row][col] = sessionTicks;
        shown_[row][col] = at_;
        earlier_[row][col] = recent_.front();
        travelAtShow_[row][col] = travel_;
    });
}

void PlayWatcher::moved(float x, float y) {
    travel_ += distance(at_.x, at_.y, x, y);
    at_ = {x, y};
}

void PlayWatcher::beforePress() { beforeTick(); }

void PlayWatcher::afterPress(long sessionTicks) {
    eachHole([&](int row, int col) {
        const std::int16_t was = before_[row][col];
        if (was < 1 || was > game::kPopUpPos || state_.ratPos[row][col] != game::kWhackedPos) return;
        if (shownAt_[row][col] >= 0) {
            Whack w;
            w.shownTick = shownAt_[row][col];
            w.pressTick = sessionTicks;
            w.points = 3 * was;
            w.row = row;
            w.col = col;
            w.shownX = shown_[row][col].x;
            w.shownY = shown_[row][col].y;
            w.beforeX = earlier_[row][col].x;
            w.beforeY = earlier_[row][col].y;
            w.pressX = at_.x;
            w.pressY = at_.y;
            w.travel = travel_ - travelAtShow_[row][col];
            whacks_.push_back(w);
        }
        shownAt_[row][col] = -1;
    });
}

std::vector<std::pair<float, float>> PlayWatcher::trail() const {
    std::vector<std::pair<float, float>> t;
    for (const Place& p : recent_) t.emplace_back(p.x, p.y);
    t.emplace_back(at_.x, at_.y);
    return t;
}

void PlayWatcher::setTrail(const std::vector<std::pair<float, float>>& trail) {
    recent_.clear();
    for (const auto& [x, y] : trail) recent_.push_back({x, y});
    if (recent_.empty()) return;
    at_ = recent_.back();
    recent_.pop_back();
}

std::vector<Whack> PlayWatcher::take() { return std::exchange(whacks_, {}); }

}  // namespace bopatron::server
