// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The facts of play a replay sees: for every whack (a press that scores),
// when its rat was first shown, when the press came, where the pointer was
// and how it moved; and a round's summary of them. They say how fast the
// round was played, which a table may publish beside its records, and what
// a person check judges.

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

struct Whack {
    long shownTick = 0;   // the session tick whose frame first showed the rat
    long pressTick = 0;   // the session ticks played when the press came
    int points = 0;       // what the whack scored
    int row = 0, col = 0;
    float shownX = 0, shownY = 0;  // the pointer when the rat was first shown
    float beforeX = 0, beforeY = 0;  // the pointer half a second (25 ticks) before that
    float pressX = 0, pressY = 0;  // the pointer at the press
    float travel = 0;              // the pointer's path from the show to the press, in pixels
    // The press came at least this long after the frame that showed the rat
    // (between this and 20 ms more: events between two ticks carry no time).
    int reactionMs() const { return static_cast<int>(pressTick - shownTick) * 20; }
    // The pointer was already on the spot of the press when the rat showed,
    // having come there from elsewhere in the half second before.
    bool arrivedBefore() const;
};

struct ReactionSummary {
    int whacks = 0;
    int medianMs = 0;
    int fastestMs = 0;
    int thirdQuartileMs = 0;  // three in four whacks came within this long
    int underFloor = 0;       // whacks whose press came sooner than kHumanFloorMs after the show, at most
    int spreadMs = 0;         // the standard deviation of the reactions
    int arrivedBefore = 0;    // whacks with the pointer on the spot before the rat came
    double arrivedByChance = 0;  // how many of those chance alone gives: the spawn's own odds of each hole
};

ReactionSummary summarize(const std::vector<Whack>& whacks);

// Watches a replay, one event at a time, and keeps its whacks.
class PlayWatcher {
public:
    explicit PlayWatcher(const game::GameState& state);
    // Call around each event the replay plays. "New Game" starts a round: rats
    // left up from before it are not its rats, and whacks so far are forgotten.
    void newGame();
    void beforeTick();
    void afterTick(long sessionTicks);
    void moved(float x, float y);
    void beforePress();
    void afterPress(long sessionTicks);
    // The whacks of the round since "New Game", handed over once.
    std::vector<Whack> take();
    // Where the pointer was after each of the last ticks and is now (the latest
    // last), which a replay that goes on later starts from.
    std::vector<std::pair<float, float>> trail() const;
    void setTrail(const std::vector<std::pair<float, float>>& trail);

private:
    struct Place {
        float x = 0, y = 0;
    };
    const game::GameState& state_;
    std::int16_t before_[3][3]{};  // the holes before the current event
    long shownAt_[3][3];           // when each hole's rat was first shown; -1 not (yet) one of the round's
    Place shown_[3][3], earlier_[3][3];
    float travelAtShow_[3][3]{};
    Place at_;
    float travel_ = 0;
    std::vector<Place> recent_;    // the pointer after each of the last ticks, the latest last
    std::vector<Whack> whacks_;
};

}  // namespace bopatron::server
