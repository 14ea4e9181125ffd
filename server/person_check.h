// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Whether a round was very unlikely played by a person, from the facts of its
// play: rules over its summary, each with the human figure it rests on
// (docs/WORLD.md). They hold a round for an operator to review; they never
// refuse one by themselves. None of them looks at how the pointer moves
// between two places, so a tap on a touch screen, where the hand jumps to
// each press, is judged as a mouse is.

#include "server/play_facts.h"

#include <string>
#include <vector>

namespace bopatron::server {

// Fewer reactions than this say too little about how fast a round was played; and
// fewer than kLeastSpread too little about how they are spread (five of a person's
// may well lie close together).
inline constexpr int kLeastWhacks = 5;
inline constexpr int kLeastSpread = 10;
// A person seeing a rat, finding it among nine holes, moving the hand there and
// pressing takes longer than this for more than a quarter of the whacks: a
// simple reaction to a light alone, with nothing to find and nowhere to move,
// averages 190 to 250 ms.
inline constexpr int kLeastThirdQuartileMs = 250;
// People's reactions vary: their standard deviation is tens of milliseconds
// for the simplest task, and more with a hand to move.
inline constexpr int kLeastSpreadMs = 40;
// What chance gives is no chance when it gives that many or more this seldom: as
// seldom as a normal variable lies four standard deviations above its mean.
inline constexpr double kChanceOdds = 3.2e-5;
// No person presses a button more often than this in one second, even with two
// fingers taking turns on it.
inline constexpr int kMostPressesASecond = 20;

// A rule the round breaks: its name, and why in the player's words.
struct PersonReason {
    std::string rule;  // under-floor, reach-floor, quick, spread, waiting, hammer-timing or rhythm
    std::string text;
};
// The rules the round breaks; none when a person could have played it.
std::vector<PersonReason> personReasons(const ReactionSummary& summary);

}  // namespace bopatron::server
