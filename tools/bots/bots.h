// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Players for a round, to test the table's person check against: bots that no
// person could be, and a model of a person, with the mouse or by touch. Each
// sees what the last frame showed and says what the pointer does before the
// next tick. docs/WORLD.md gives the person model's figures and their sources.
//
// This is this project's own code; no other implementation of the game is
// used or consulted for it.

#include "game/form1.h"
#include "runtime/basic.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace bopatron::bots {

enum class Kind {
    Instant,       // presses each rat right after the frame that shows it
    Fixed150,      // presses each rat 150 ms after it shows, after a straight move
    Jittered,      // presses 100 to 250 ms after it shows (uniform), after a straight move
    Precomputing,  // knows where the next rat comes and waits on that hole before it does
    Radar,         // knows where each rat comes, goes there at a person's speed before it does,
                   // and presses a simple reaction after it shows
    RadarTouch,    // the same, tapping: no pointer waits anywhere, a tap lands a reaction after the show
    Autoclicker,   // presses ten times a second, as steady as a clock, on the middle hole
    HidingHammer,  // presses at random where it rests, and at once on each rat, jumping there
    Person,        // a person with a mouse: reactions, paths, overshoot and misses
    PersonTouch,   // the same person tapping: the hand jumps to each tap
    HammeringPerson,  // a person pressing 8 to 12 times a second where the hand rests, chasing the others
    FastPerson,    // a person at the fast end of people's reactions and movements
    RadarFitts,    // told where each rat comes, tapping it a person's reaction and a hand's reach
                   // (Fitts' law, from its last tap) after it shows: it gains only knowing the hole
};
inline constexpr Kind kKinds[] = {Kind::Instant,      Kind::Fixed150,    Kind::Jittered, Kind::Precomputing,
                                  Kind::Radar,        Kind::RadarTouch,  Kind::Autoclicker, Kind::HidingHammer,
                                  Kind::Person,       Kind::PersonTouch, Kind::HammeringPerson, Kind::FastPerson,
                                  Kind::RadarFitts};
// The players that are models of people, whose rounds the person check must let through.
bool isPerson(Kind kind);
std::string_view nameOf(Kind kind);
std::optional<Kind> kindNamed(std::string_view name);

// One thing the pointer does between two ticks.
struct Input {
    enum class What { Move, Down, Up };
    What what = What::Move;
    float x = 0, y = 0;
};

// What a bot may know of the game: the frame just shown, and (for the bot that
// knows the round in advance) the generator the next tick will draw from.
struct View {
    const game::GameState& state;
    long tick = 0;  // ticks of the round played; the frame of this tick was just shown
    const runtime::RandomSource* random = nullptr;
};

class Bot {
public:
    virtual ~Bot() = default;
    // What the pointer does after the frame of view.tick and before the next tick, in order.
    virtual std::vector<Input> between(const View& view) = 0;
};

std::unique_ptr<Bot> makeBot(Kind kind, std::uint32_t seed);

}  // namespace bopatron::bots
