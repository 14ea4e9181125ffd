// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The game: its state and Form1's handlers, which the window calls for its
// load, button, clock, mouse and paint events.

#include "draw/compositor.h"
#include "draw/sprite_table.h"
#include "draw/surface.h"
#include "runtime/host.h"

#include <cstdint>
#include <optional>

namespace bopatron::game {

inline constexpr char kDifficultyPrompt[] = "Choose a difficulty from 0 to 8\r8 being the hardest.";
inline constexpr std::int16_t kRoundTicks = 1000;
inline constexpr std::int16_t kPopUpPos = 12;    // a rat's position when it comes up
inline constexpr std::int16_t kWhackedPos = 13;  // a rat's first position after a whack
inline constexpr int kTickMs = 20;               // the clock's interval while a round runs
// The spawn: a rat is tried when Int(Rnd * (kSpawnBase - difficulty)) is 1, in the hole of
// row and column Int(Rnd * kHolePick) each (2.99, not 3), with pace Int(Rnd * (kPaceBase - difficulty)) + 1.
inline constexpr double kSpawnBase = 30;
inline constexpr double kHolePick = 2.99;
inline constexpr std::int16_t kPaceBase = 8;

// Every variable of the game. Holes are indexed [row][col].
struct GameState {
    std::int16_t holeX[3][3]{};
    std::int16_t holeY[3][3]{};
    std::int16_t ratPos[3][3]{};
    std::int16_t ratPace[3][3]{};
    draw::SpriteTable spr;
    std::int16_t difficulty = 0;
    std::optional<std::int16_t> ticks;  // empty until the first "New Game"
    std::int16_t score = 0;
    std::int16_t handX = 0;
    std::int16_t handY = 0;
    std::int16_t handDown = 0;
    std::int16_t ratKind = 0;
    std::int16_t firstKind = 0;
    std::int16_t dice = 0;
};

// The anchor of each hole, [row][col].
inline constexpr std::int16_t kHoleX[3][3] = {{187, 247, 304}, {127, 189, 262}, {75, 146, 222}};
inline constexpr std::int16_t kHoleY[3][3] = {{48, 58, 66}, {79, 90, 98}, {116, 126, 134}};

// The difficulty a typed answer chooses: its numeric prefix rounded to a whole
// number, at most 8 and at least -32737 (the lowest the spawn chance can use).
std::int16_t difficultyFromAnswer(const std::string& answer);

class Form1 {
public:
    Form1(runtime::Host& host, draw::Surfaces& surfaces);

    // Event handlers.
    void Form_Load();
    void Command1_Click();
    void Timer1_Timer();
    void Form_MouseDown(std::int16_t button, std::int16_t shift, float X, float Y);
    void Form_MouseMove(std::int16_t button, std::int16_t shift, float X, float Y);
    void Form_MouseUp(std::int16_t button, std::int16_t shift, float X, float Y);
    void Form_Paint();

    // Window procedures.
    void stickrat(std::int16_t row, std::int16_t col, std::int16_t X, std::int16_t Y,
                  std::int16_t pos);
    void popuprats();
    void updateRat(draw::SheetPair sheets, std::int16_t row, std::int16_t col);

    GameState& state() { return s_; }
    const GameState& state() const { return s_; }

private:
    void characterChange();
    bool onPace(std::int16_t row, std::int16_t col) const;

    runtime::Host& host_;
    draw::Surfaces& surfaces_;
    GameState s_;
};

}  // namespace bopatron::game
