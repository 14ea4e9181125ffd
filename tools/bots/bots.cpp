// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "tools/bots/bots.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace bopatron::bots {

namespace {

constexpr long kTickMs = game::kTickMs;
constexpr long kSampleMs = 8;  // a USB mouse reports its position at 125 Hz

// The person model's figures; docs/WORLD.md gives their sources.
struct Figures {
    double reactionMu, reactionSigma, reactionTau;  // ex-Gaussian, ms
    double fittsA, fittsB;                          // pointing, ms and ms per bit
};
constexpr Figures kPerson{230, 30, 60, -107, 223};
// The fast end of the same sources: reactions 40 ms sooner and steadier, pointing at
// 6.7 bits a second (150 ms a bit) where the person model takes 4.5.
constexpr Figures kFastPerson{190, 20, 40, -107, 150};
// A simple reaction: a light (here a rat) to press for, where the hand already is.
constexpr Figures kSimpleReaction{210, 20, 40, 0, 0};
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
    void press(long ms, float x, float y, long hold = kPressMs) {
        at(ms, Input::What::Down, x, y);
        at(ms + hold, Input::What::Up, x, y);
    }
    double reaction(const Figures& f) {
        return f.reactionMu + std::normal_distribution<double>(0, f.reactionSigma)(dice_) +
               std::exponential_distribution<double>(1 / f.reactionTau)(dice_);
    }
    static long moveMs(const Figures& f, double distance, double width) {
        const double id = std::log2(distance / std::max(width, 1.0) + 1);
        return static_cast<long>(std::max(kMinMoveMs, f.fittsA + f.fittsB * id));
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
        const int n = static_cast<int>(game::kSpawnBase) - s.difficulty;
        if (static_cast<long>(std::floor(r1 * n)) != 1) return;
        const int row = static_cast<int>(std::floor(future.next() * game::kHolePick));
        const int col = static_cast<int>(std::floor(future.next() * game::kHolePick));
        if (s.ratPos[row][col] != 0) return;
        const int m = game::kPaceBase - s.difficulty;
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
    Person(std::uint32_t seed, bool touch, const Figures& figures = kPerson)
        : Planner(seed), touch_(touch), figures_(figures) {}

protected:
    // Goes for the rat in sight that showed first and has not been gone for, when free;
    // gives when the press comes, or -1.
    long chase(const View& view, long now) {
        if (busyUntil_ > now) return -1;
        int hole = -1;
        long shown = 0;
        for (const auto& [h, when] : seen_) {
            if (const auto c = chased_.find(h); c != chased_.end() && c->second == when) continue;
            if (hole < 0 || when < shown) hole = h, shown = when;
        }
        if (hole < 0) return -1;
        chased_[hole] = shown;
        const int row = hole / 3, col = hole % 3;
        std::normal_distribution<double> across(0, 1);
        const long start = std::max(now, std::max(shown, busyUntil_)) + static_cast<long>(reaction(figures_));
        moveStart_ = start;
        // The hand goes where the sinking rat will be when it gets there (as it sees it sink).
        const Rect seen = frameOf(view.state, row, col, view.state.ratPos[row][col]);
        const long guess = start - now + moveMs(figures_, std::hypot(seen.midX() - x_, seen.midY() - y_), seen.right - seen.left);
        const Rect r = ahead(view.state, row, col, guess);
        const double w = r.right - r.left, h = r.bottom - r.top;
        const auto aimX = static_cast<float>(r.midX() + across(dice_) * w / kEffectiveWidth);
        const auto aimY = static_cast<float>(r.midY() + across(dice_) * h / kEffectiveWidth);
        const double dx = aimX - x_, dy = aimY - y_, distance = std::hypot(dx, dy);
        long end = start + moveMs(figures_, distance, w);
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
                const long correction = moveMs(figures_, rest, w);
                reach(end, correction, aimX, aimY);
                end += correction;
            }
        }
        press(end, x_, y_);
        busyUntil_ = end + kPressMs;
        return end;
    }
    void plan(const View& view, long now, const std::vector<std::pair<int, int>>&) override { chase(view, now); }

    std::map<int, long> chased_;  // holes whose rat this person went for, by when it showed
    long moveStart_ = 0;          // when the last chase set off

private:
    bool touch_;
    Figures figures_;
};

// Presses at a rate of its own where the pointer rests, between anything else it does.
class Hammer {
public:
    // Intervals drawn from next(), the first press at first.
    explicit Hammer(long first) : next_(first) {}
    // The presses due before `until`, except while the hand is away [away, back).
    template <typename Interval, typename Press>
    void run(long until, long away, long back, Interval interval, Press pressAt) {
        for (; next_ < until; next_ += interval()) {
            if (next_ >= away && next_ < back) next_ = back;
            else pressAt(next_);
        }
    }

private:
    long next_;
};
constexpr long kHammerHoldMs = 40;  // a press of hammering is let go at once

// A person hammering: presses 8 to 12 times a second (a rate of the round's own) where
// the hand rests, its intervals varying by a tenth, and chases a rat that shows elsewhere
// as the person model does, pressing on after it arrives.
class HammeringPerson : public Person {
public:
    explicit HammeringPerson(std::uint32_t seed)
        : Person(seed, false), meanMs_(std::uniform_real_distribution<double>(1000.0 / 12, 1000.0 / 8)(dice_)) {}

private:
    void plan(const View& view, long now, const std::vector<std::pair<int, int>>& fresh) override {
        // A rat that comes up where the hand is hammering is left to the hammering.
        for (const auto& [row, col] : fresh)
            if (frameOf(view.state, row, col, view.state.ratPos[row][col]).holds(restX_, restY_))
                chased_[row * 3 + col] = seen_.at(row * 3 + col);
        if (chase(view, now) >= 0) {
            away_ = moveStart_;
            back_ = busyUntil_;
        }
        hammer_.run(now + kTickMs, away_, back_,
                    [&] { return std::max(40L, std::lround(std::normal_distribution<double>(meanMs_, meanMs_ / 10)(dice_))); },
                    [&](long ms) {
                        if (ms >= back_) restX_ = x_, restY_ = y_;
                        press(ms, restX_, restY_, kHammerHoldMs);
                    });
    }
    double meanMs_;
    Hammer hammer_{0};
    long away_ = -1, back_ = -1;
    float restX_ = 200, restY_ = 150;
};

// A bot that hides its timing among random presses: it hammers where it rests at
// random intervals (60 to 140 ms), and when a rat shows it jumps there and presses
// right after the frame that showed it, then hammers there.
class HidingHammer : public Planner {
public:
    using Planner::Planner;

private:
    void plan(const View& view, long now, const std::vector<std::pair<int, int>>& fresh) override {
        for (const auto& [row, col] : fresh) {
            const Rect r = frameOf(view.state, row, col, view.state.ratPos[row][col]);
            at(now + 1, Input::What::Move, r.midX(), r.midY());
            x_ = r.midX();
            y_ = r.midY();
            press(now + 1, x_, y_, kHammerHoldMs);
        }
        hammer_.run(now + kTickMs, -1, -1, [&] { return std::uniform_int_distribution<long>(60, 140)(dice_); },
                    [&](long ms) { press(ms, x_, y_, kHammerHoldMs); });
    }
    Hammer hammer_{0};
};

// An autoclicker: a press every 100 ms, on the middle hole, never moving.
class Autoclicker : public Planner {
public:
    using Planner::Planner;

private:
    void plan(const View& view, long now, const std::vector<std::pair<int, int>>&) override {
        const Rect r = frameOf(view.state, 1, 1, 6);
        if (!placed_) at(now, Input::What::Move, r.midX(), r.midY());
        placed_ = true;
        hammer_.run(now + kTickMs, -1, -1, [] { return 100L; }, [&](long ms) { press(ms, r.midX(), r.midY(), kHammerHoldMs); });
    }
    Hammer hammer_{0};
    bool placed_ = false;
};

// The next rat the round will bring if no press draws a number first: the game's own
// draws, tick by tick, on a copy of its generator (each hole's steps and the two draws of
// a character change included).
struct Foreseen {
    long ticksAhead = 0;  // after this many ticks, counting the next as 1
    int row = 0, col = 0, pace = 1;
};
std::optional<Foreseen> foresee(const game::GameState& s, runtime::RandomSource future, long horizon) {
    std::int16_t pos[3][3], pace[3][3];
    std::copy(&s.ratPos[0][0], &s.ratPos[0][0] + 9, &pos[0][0]);
    std::copy(&s.ratPace[0][0], &s.ratPace[0][0] + 9, &pace[0][0]);
    const int n = static_cast<int>(game::kSpawnBase) - s.difficulty, m = game::kPaceBase - s.difficulty;
    for (long ahead = 1; ahead <= horizon; ++ahead) {
        const long tick = s.ticks.value_or(0) + ahead;
        if (tick > game::kRoundTicks) return std::nullopt;
        std::optional<Foreseen> up;
        if (static_cast<long>(std::floor(future.next() * n)) == 1) {
            const int row = static_cast<int>(std::floor(future.next() * game::kHolePick));
            const int col = static_cast<int>(std::floor(future.next() * game::kHolePick));
            if (pos[row][col] == 0) {
                pos[row][col] = game::kPopUpPos;
                pace[row][col] = static_cast<std::int16_t>(std::floor(future.next() * m) + 1);
                up = Foreseen{ahead, row, col, pace[row][col]};
            }
        }
        if (up) return up;
        for (int col = 0; col < 3; ++col)
            for (int row = 0; row < 3; ++row) {
                std::int16_t& p = pos[row][col];
                if (p == 0 || tick % pace[row][col] != 0) continue;
                if (p <= game::kPopUpPos) --p;
                else if (++p > game::kWhackedPos + 1) {
                    p = 0;
                    future.next();  // the new character
                    future.next();  // its remark
                }
            }
    }
    return std::nullopt;
}

// Shown where the next rat will come: goes there at a person's speed as soon as it may
// (the mouse form) and presses a simple reaction after the rat shows; the touch form
// cannot hover, so its finger lands there with the press.
class Radar : public Planner {
public:
    Radar(std::uint32_t seed, bool touch, bool reach = false) : Planner(seed), touch_(touch), reach_(reach) {}

private:
    void plan(const View& view, long now, const std::vector<std::pair<int, int>>&) override {
        if (view.random == nullptr || busyUntil_ > now) return;
        const auto next = foresee(view.state, *view.random, 200);
        if (!next) return;
        const long up = view.tick + next->ticksAhead;  // the frame that shows it
        double delay = reaction(reach_ ? kPerson : kSimpleReaction);
        if (reach_) {  // a hand that sets off when the rat shows, from its last tap
            const Rect shown = frameOf(view.state, next->row, next->col, game::kPopUpPos);
            delay += static_cast<double>(moveMs(kPerson, std::hypot(shown.midX() - x_, shown.midY() - y_), shown.right - shown.left));
        }
        const long when = std::max(up * kTickMs + static_cast<long>(delay), now + 1);
        // Where it will be then: it steps on each multiple of its pace from the tick it comes up in.
        const long pressTick = when / kTickMs;
        const long steps = pressTick / next->pace - (up - 1) / next->pace;
        const Rect r = frameOf(view.state, next->row, next->col, std::max(1, game::kPopUpPos - static_cast<int>(steps)));
        if (touch_) {
            at(when, Input::What::Move, r.midX(), r.midY());
            x_ = r.midX();
            y_ = r.midY();
        } else {
            const long move = moveMs(kPerson, std::hypot(r.midX() - x_, r.midY() - y_), r.right - r.left);
            reach(now + 1, std::min(move, when - now - 1), r.midX(), r.midY());
        }
        press(when, x_, y_);
        busyUntil_ = when + 1;  // the next rat is computable again once the press has drawn its number
    }
    bool touch_, reach_;
};

}  // namespace

std::string_view nameOf(Kind kind) {
    switch (kind) {
        case Kind::Instant: return "instant";
        case Kind::Fixed150: return "fixed-150";
        case Kind::Jittered: return "jittered";
        case Kind::Precomputing: return "precomputing";
        case Kind::Radar: return "radar";
        case Kind::RadarTouch: return "radar-touch";
        case Kind::Autoclicker: return "autoclicker";
        case Kind::HidingHammer: return "hiding-hammer";
        case Kind::Person: return "person";
        case Kind::PersonTouch: return "person-touch";
        case Kind::HammeringPerson: return "hammering-person";
        case Kind::FastPerson: return "fast-person";
        case Kind::RadarFitts: return "radar-fitts";
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
        case Kind::Radar: return std::make_unique<Radar>(seed, false);
        case Kind::RadarTouch: return std::make_unique<Radar>(seed, true);
        case Kind::Autoclicker: return std::make_unique<Autoclicker>(seed);
        case Kind::HidingHammer: return std::make_unique<HidingHammer>(seed);
        case Kind::Person: return std::make_unique<Person>(seed, false);
        case Kind::PersonTouch: return std::make_unique<Person>(seed, true);
        case Kind::HammeringPerson: return std::make_unique<HammeringPerson>(seed);
        case Kind::FastPerson: return std::make_unique<Person>(seed, false, kFastPerson);
        case Kind::RadarFitts: return std::make_unique<Radar>(seed, true, true);
    }
    return nullptr;
}

bool isPerson(Kind kind) {
    return kind == Kind::Person || kind == Kind::PersonTouch || kind == Kind::HammeringPerson || kind == Kind::FastPerson;
}

}  // namespace bopatron::bots
