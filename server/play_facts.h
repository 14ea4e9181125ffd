// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The facts of play a replay sees: every press of a round (when it came, where
// the pointer was, what it scored), every rat that came up (where the pointer
// was then, and how likely the game's spawn was to put it there), and for
// every whack (a press that scores) when its rat was first shown; and a
// round's summary of them. They say how the round was played, which a table
// may publish beside its records, and what a person check judges.

#include "game/form1.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace bopatron::server {

// The measured floor of a person's reaction: a sprint start under 100 ms after
// the gun counts as a false start. Seeing a target, moving a hand there and
// pressing takes longer.
inline constexpr int kHumanFloorMs = 100;
// Presses at most this many ticks apart (240 ms: four or more a second) are
// hammering: they come whether or not a rat is there.
inline constexpr long kHammerGapTicks = 12;
// Ticks: a rat that comes up this soon after another left its hole may meet a hand that was
// on its way to the one before (half a second: a reach).
inline constexpr long kFollowTicks = 25;
// Pixels: a press this close to the one before it was made where the pointer rests.
inline constexpr float kOnTheSpot = 12;
// A hand's time to reach a target grows with the reach's index of difficulty, log2(D / W + 1)
// bits (Fitts' law, in its Shannon form): by about 144 ms a bit for a finger on a touch screen
// (a throughput of 6.95 bits a second, MacKenzie 2015, "Fitts' throughput and the remarkable
// case of touch-based target selection", HCII) and by more for a mouse (3.7 to 4.9 bits a
// second in ISO 9241-9 studies: 200 to 270 ms a bit). A tenth of a second a bit, two thirds of
// the finger's, is the least a reach adds to the floor of a reaction (kHumanFloorMs); a round's
// slope is published beside its odds against it, but holds no round: over a dozen reactions it
// is loose, and a fast hand's short reaches all take its quickest move.
inline constexpr double kLeastReachSlope = 100;  // ms a bit

struct Press {
    long tick = 0;      // the session ticks played when it came
    float x = 0, y = 0;  // the pointer
    int points = 0;     // what it scored: 0 when it hit nothing
};

// A rat that came up in the round.
struct RatShown {
    long tick = 0;       // the session tick it came up in
    int row = 0, col = 0;
    float x = 0, y = 0;  // the pointer then
    bool underPointer = false;  // the pointer was on its hole's spot when it came up
    double chance = 0;   // how likely the spawn was to pick a hole under the pointer, of the holes empty then
};

struct Whack {
    long shownTick = 0;   // the session tick whose frame first showed the rat
    long pressTick = 0;   // the session ticks played when the press came
    int points = 0;       // what the whack scored
    int row = 0, col = 0;
    std::size_t press = 0;  // its press, in the round's presses
    float travel = 0;       // the pointer's path from the show to the press, in pixels
    // The reach: its index of difficulty in bits, log2(D / W + 1), from the pointer when the
    // rat showed to the rat's middle (D) for the rat's width then (W); and whether the hand was
    // free then (no press of another rat came between the show and this press, the press reached
    // for it and not for a rat shown before it that it also whacked, and no rat had left that
    // hole in the half second before, which the hand may have been on its way to).
    double bits = 0;
    bool free = false;
    // The press came at least this long after the frame that showed the rat
    // (between this and 20 ms more: events between two ticks carry no time).
    int reactionMs() const { return static_cast<int>(pressTick - shownTick) * 20; }
};

// Everything a replay saw of one round's play.
struct RoundPlay {
    std::vector<Press> presses;
    std::vector<RatShown> rats;
    std::vector<Whack> whacks;
};

struct ReactionSummary {
    int whacks = 0;
    int reactions = 0;        // whacks that were reactions: all but the lucky ones of hammering
    int medianMs = 0;         // of the reactions
    int fastestMs = 0;
    int thirdQuartileMs = 0;  // three in four reactions came within this long
    int underFloor = 0;       // reactions whose press came kHumanFloorMs after the show at most, the hand having moved to it
    int spreadMs = 0;         // the standard deviation of the reactions
    // Presses: all of them, those that hit nothing, the most in any one second, and the
    // standard deviation of the intervals between the presses of hammering.
    int presses = 0;
    int missed = 0;
    int fastestSecond = 0;
    int hammerIntervals = 0;
    int hammerSpreadMs = 0;
    bool machineRhythm = false;  // every interval of hammering one of two neighbouring tick counts
    // Lucky whacks: a rat came up where the pointer was hammering, between two of its presses.
    // Hammering gives such a rat to any press of its interval alike; early counts those
    // in the first quarter of it, with what chance gives and how seldom it gives that many.
    int lucky = 0;
    int luckyEarly = 0;
    double luckyEarlyByChance = 0;
    double luckyEarlyOdds = 1;
    // The reactions of a free hand against their reach's index of difficulty: how many, those
    // under the floor of a reaction and a reach; and (at least two reaches apart, three of them)
    // the slope in ms a bit and its standard error from the round's own scatter, and how seldom
    // a hand whose slope is kLeastReachSlope gives one this low.
    int reaches = 0;
    int underReachFloor = 0;  // of them, those whose press came no later than kHumanFloorMs and kLeastReachSlope a bit
    double reachSlope = 0;
    double reachSlopeError = 0;
    double reachOdds = 1;
    // Rats that came up where the pointer was waiting, what chance gives, and how seldom.
    int ratsShown = 0;
    int underPointer = 0;
    double underPointerByChance = 0;
    double underPointerOdds = 1;
};

ReactionSummary summarize(const RoundPlay& play);

// The chance of at least k successes in independent trials that succeed with the
// probabilities given (1 when k is 0 or less).
double chanceOfAtLeast(int k, const std::vector<double>& chances);

// Watches a replay, one event at a time, and keeps the round's play.
class PlayWatcher {
public:
    explicit PlayWatcher(const game::GameState& state);
    // Call around each event the replay plays. "New Game" starts a round: rats
    // left up from before it are not its rats, and its play so far is forgotten.
    void newGame();
    void beforeTick();
    void afterTick(long sessionTicks);
    void moved(float x, float y);
    void beforePress();
    void afterPress(long sessionTicks);
    // The round's play since "New Game", handed over once.
    RoundPlay take();
    // Where the pointer is, which a replay that goes on later starts from.
    std::pair<float, float> pointer() const { return {at_.x, at_.y}; }
    void setPointer(std::pair<float, float> at) { at_ = {at.first, at.second}; }

private:
    struct Place {
        float x = 0, y = 0;
    };
    void cameUp(long sessionTicks, int row, int col);

    const game::GameState& state_;
    std::int16_t before_[3][3]{};  // the holes before the current event
    long shownAt_[3][3];           // when each hole's rat was first shown; -1 not (yet) one of the round's
    float travelAtShow_[3][3]{};
    double bitsAtShow_[3][3]{};
    long goneAt_[3][3];            // when each hole's last rat went down (or was whacked); -1 none yet
    bool followed_[3][3]{};        // its rat came up soon after the one before it there went
    Place at_;
    float travel_ = 0;
    RoundPlay play_;
};

}  // namespace bopatron::server
