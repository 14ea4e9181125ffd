// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "tools/bots/bots.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace bopatron::bots {

namespace {

constexpr long kTickMs = 20;
constexpr long kSampleMs = 8;  // a USB mouse reports its position at 125 Hz

// The person model's figures; docs/WORLD.md gives their sources.
constexpr double kReactionMu = 230, kReactionSigma = 30, kReactionTau = 60;  // ex-Gaussian, ms
constexpr double kFittsA = -107, kFittsB = 223;  // mouse pointing, ms and ms per bit
constexpr double kMinMoveMs = 60;
constexpr double kEffectiveWidth = 4.133;        // a target's width spans 4.133 SDs of the endpoints
constexpr double kPrimaryError = 0.07;           // a primary submovement's SD, as a share of its distance
constexpr long kPressMs = 90;                    // a button held down

struct Rect {
    float left = 0, top = 0, right = 0, bottom = 0;
    float midX() const { return (left + right) / 2; }
    float midY() const { return (top + bottom) / 2; }
    bool holds(float x, float y) const { return left < x && x < right && top < y && y < bottom; }
};

Rect frameOf(const game::GameState& s, int row, int col, int f) {
    const float left = static_cast<float>(s.holeX[row][col] + s.spr.sprOffX[f]);
    const float top = static_cast<float>(s.holeY[row][col] + s.spr.sprOffY[f]);
    return {left, top, left + s.spr.sprW[f], top + s.spr.sprH[f]};
}

// Where a rat that is up will be at `ms` from now: it sinks one position every
// `pace` ticks (a position still to come counts from the next multiple of the pace).
Rect ahead(const game::GameState& s, int row, int col, long ms) {
    const int pace = std::max<int>(1, s.ratPace[row][col]);
    const int f = std::max(1, s.ratPos[row][col] - static_cast<int>(ms / (pace * kTickMs)));
    return frameOf(s, row, col, f);
}

bool visible(const game::GameState& s, int row, int col) {
    const int f = s.ratPos[row][col];
    return f >= 1 && f <= game::kPopUpPos && s.spr.sprW[f] > 0 && s.spr.sprH[f] > 0;
}

struct Timed {
    long ms = 0;
    Input input;
};

// What every bot shares: the rats it has seen come up, the pointer, and the
// inputs it has planned, each at its millisecond; those due before the next
// tick are handed out in order.
class Planner : public Bot {
public:
    explicit Planner(std::uint32_t seed) : dice_(seed) {}

    std::vector<Input> between(const View& view) final {
        const long now = view.tick * kTickMs;  // when the frame just shown was shown
        std::vector<std::pair<int, int>> fresh;
        for (int col = 0; col < 3; ++col)
            for (int row = 0; row < 3; ++row) {
                const int hole = row * 3 + col;
                if (!visible(view.state, row, col)) {
                    if (view.state.ratPos[row][col] == 0 || view.state.ratPos[row][col] > game::kPopUpPos) seen_.erase(hole);
                    continue;
                }
                if (seen_.emplace(hole, now).second) fresh.emplace_back(row, col);
            }
        plan(view, now, fresh);
        std::stable_sort(planned_.begin(), planned_.end(), [](const Timed& a, const Timed& b) { return a.ms < b.ms; });
        std::vector<Input> due;
        const long next = now + kTickMs;
        while (!planned_.empty() && planned_.front().ms < next) {
            due.push_back(planned_.front().input);
            planned_.erase(planned_.begin());
        }
        return due;
    }

protected:
    // Plans inputs for the rats that came into sight with the frame shown at now.
    virtual void plan(const View& view, long now, const std::vector<std::pair<int, int>>& fresh) = 0;

    void at(long ms, Input::What what, float x, float y) { planned_.push_back({ms, {what, x, y}}); }
    // A straight move sampled as a mouse reports it, from the pointer at `from` to (x, y) at `to`.
    void straight(long from, long to, float x, float y) {
        const float x0 = x_, y0 = y_;
        for (long ms = from + kSampleMs; ms < to; ms += kSampleMs) {
            const float k = static_cast<float>(ms - from) / static_cast<float>(to - from);
            at(ms, Input::What::Move, x0 + (x - x0) * k, y0 + (y - y0) * k);
        }
        at(to, Input::What::Move, x, y);
        x_ = x;
        y_ = y;
    }
    void press(long ms, float x, float y) {
        at(ms, Input::What::Down, x, y);
        at(ms + kPressMs, Input::What::Up, x, y);
    }

    std::mt19937 dice_;
    std::map<int, long> seen_;  // hole (row * 3 + col) → when its rat was first shown
    std::vector<Timed> planned_;
    float x_ = 200, y_ = 150;
    long busyUntil_ = 0;
};

// Each rat pressed `delay` after it shows, one after the other, after a straight move.
class Delayed : public Planner {
public:
    Delayed(std::uint32_t seed, long least, long most) : Planner(seed), least_(least), most_(most) {}

private:
    void plan(const View& view, long now, const std::vector<std::pair<int, int>>& fresh) override {
        for (const auto& [row, col] : fresh) {
            const long delay = least_ == most_ ? least_ : std::uniform_int_distribution<long>(least_, most_)(dice_);
            const long start = std::max(now, busyUntil_);
            const long when = std::max(now + delay, start + 1);
            const Rect r = ahead(view.state, row, col, when - now);
            if (delay == 0) {
                at(now + 1, Input::What::Move, r.midX(), r.midY() + 3.5f);
                x_ = r.midX();
                y_ = r.midY() + 3.5f;
                press(now + 1, x_, y_);
            } else {
                straight(start, when, r.midX(), r.midY() + 3.5f);
                press(when, x_, y_);
            }
            busyUntil_ = when + 1;
        }
    }
    long least_, most_;
};

// Knows the round in advance: before each tick it works out from the generator
// whether a rat comes up in it, where and how fast it will sink, moves at once to
// where it will be, and presses there a person's reaction after it shows.
class Precomputing : public Planner {
public:
    using Planner::Planner;

private:
    void plan(const View& view, long now, const std::vector<std::pair<int, int>>&) override {
        if (view.random == nullptr || busyUntil_ > now) return;
        runtime::RandomSource future = *view.random;  // drawn from as the game will draw
        const game::GameState& s = view.state;
        // The next tick's spawn, drawn as the game draws it.
        const double r1 = future.next();
        const int n = 30 - s.difficulty;
        if (static_cast<long>(std::floor(r1 * n)) != 1) return;
        const int row = static_cast<int>(std::floor(future.next() * 2.99));
        const int col = static_cast<int>(std::floor(future.next() * 2.99));
        if (s.ratPos[row][col] != 0) return;
        const int m = 8 - s.difficulty;
        const int pace = m <= 1 ? 1 : static_cast<int>(std::floor(future.next() * m)) + 1;
        // Waits where the rat will be when it presses, as late as a person would
        // (250 to 400 ms after it shows) while the rat is still up: it steps on each
        // multiple of its pace from the tick it comes up in.
        const long up = view.tick + 1;
        const long life = 11L * pace * kTickMs;
        const long delay = std::min(std::uniform_int_distribution<long>(250, 400)(dice_), life - kTickMs);
        const long pressTick = up + delay / kTickMs;
        const long steps = pressTick / pace - (up - 1) / pace;
        const int f = std::max(1, game::kPopUpPos - static_cast<int>(steps));
        const Rect r = frameOf(s, row, col, f);
        straight(now, now + kTickMs - 2, r.midX(), r.midY());
        press(up * kTickMs + delay, x_, y_);
        busyUntil_ = up * kTickMs + delay + kPressMs;
    }
};

// A person: reacts to the rat first shown when free (an ex-Gaussian reaction),
// moves there as a hand does (a primary movement by Fitts' law with a
// minimum-jerk profile, its end off by a share of its length, then a
// correction when it ended outside the rat), aims with the scatter a target of
// that width allows, presses, and holds the button a while.
class Person : public Planner {
public:
    Person(std::uint32_t seed, bool touch) : Planner(seed), touch_(touch) {}

private:
    double reaction() {
        return kReactionMu + std::normal_distribution<double>(0, kReactionSigma)(dice_) +
               std::exponential_distribution<double>(1 / kReactionTau)(dice_);
    }
    static long moveMs(double distance, double width) {
        const double id = std::log2(distance / std::max(width, 1.0) + 1);
        return static_cast<long>(std::max(kMinMoveMs, kFittsA + kFittsB * id));
    }
    // A minimum-jerk movement from the pointer to (x, y), sampled as a mouse reports it.
    void reach(long from, long duration, float x, float y) {
        const float x0 = x_, y0 = y_;
        for (long ms = kSampleMs; ms < duration; ms += kSampleMs) {
            const double t = static_cast<double>(ms) / static_cast<double>(duration);
            const auto k = static_cast<float>(t * t * t * (10 - 15 * t + 6 * t * t));
            at(from + ms, Input::What::Move, x0 + (x - x0) * k, y0 + (y - y0) * k);
        }
        at(from + duration, Input::What::Move, x, y);
        x_ = x;
        y_ = y;
    }

    void plan(const View& view, long now, const std::vector<std::pair<int, int>>&) override {
        if (busyUntil_ > now) return;
        // The rat in sight that showed first and has not been gone for.
        int hole = -1;
        long shown = 0;
        for (const auto& [h, when] : seen_) {
            if (const auto c = chased_.find(h); c != chased_.end() && c->second == when) continue;
            if (hole < 0 || when < shown) hole = h, shown = when;
        }
        if (hole < 0) return;
        chased_[hole] = shown;
        const int row = hole / 3, col = hole % 3;
        std::normal_distribution<double> across(0, 1);
        const long start = std::max(now, std::max(shown, busyUntil_)) + static_cast<long>(reaction());
        // The hand goes where the sinking rat will be when it gets there (as it sees it sink).
        const Rect seen = frameOf(view.state, row, col, view.state.ratPos[row][col]);
        const long guess = start - now + moveMs(std::hypot(seen.midX() - x_, seen.midY() - y_), seen.right - seen.left);
        const Rect r = ahead(view.state, row, col, guess);
        const double w = r.right - r.left, h = r.bottom - r.top;
        const auto aimX = static_cast<float>(r.midX() + across(dice_) * w / kEffectiveWidth);
        const auto aimY = static_cast<float>(r.midY() + across(dice_) * h / kEffectiveWidth);
        const double dx = aimX - x_, dy = aimY - y_, distance = std::hypot(dx, dy);
        long end = start + moveMs(distance, w);
        if (touch_) {
            // The finger is lifted on its way: the page sees it only where it lands.
            at(end, Input::What::Move, aimX, aimY);
            x_ = aimX;
            y_ = aimY;
        } else {
            // The primary movement ends off by a share of its length, along and across it.
            const double along = 1 + across(dice_) * kPrimaryError, aside = across(dice_) * kPrimaryError / 2;
            const double ux = distance > 0 ? dx / distance : 0, uy = distance > 0 ? dy / distance : 0;
            const auto endX = static_cast<float>(x_ + distance * (along * ux - aside * uy));
            const auto endY = static_cast<float>(y_ + distance * (along * uy + aside * ux));
            reach(start, end - start, endX, endY);
            if (!r.holds(endX, endY)) {
                const double rest = std::hypot(aimX - endX, aimY - endY);
                const long correction = moveMs(rest, w);
                reach(end, correction, aimX, aimY);
                end += correction;
            }
        }
        press(end, x_, y_);
        busyUntil_ = end + kPressMs;
    }

    bool touch_;
    std::map<int, long> chased_;  // holes whose rat this person went for, by when it showed
};

}  // namespace

std::string_view nameOf(Kind kind) {
    switch (kind) {
        case Kind::Instant: return "instant";
        case Kind::Fixed150: return "fixed-150";
        case Kind::Jittered: return "jittered";
        case Kind::Precomputing: return "precomputing";
        case Kind::Person: return "person";
        case Kind::PersonTouch: return "person-touch";
    }
    return "";
}

std::optional<Kind> kindNamed(std::string_view name) {
    for (const Kind k : kKinds)
        if (nameOf(k) == name) return k;
    return std::nullopt;
}

std::unique_ptr<Bot> makeBot(Kind kind, std::uint32_t seed) {
    switch (kind) {
        case Kind::Instant: return std::make_unique<Delayed>(seed, 0, 0);
        case Kind::Fixed150: return std::make_unique<Delayed>(seed, 150, 150);
        case Kind::Jittered: return std::make_unique<Delayed>(seed, 100, 250);
        case Kind::Precomputing: return std::make_unique<Precomputing>(seed);
        case Kind::Person: return std::make_unique<Person>(seed, false);
        case Kind::PersonTouch: return std::make_unique<Person>(seed, true);
    }
    return nullptr;
}

}  // namespace bopatron::bots
