// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A Form1 around the fake host, with blank surfaces and a program folder of its own.

#include "draw/surface.h"
#include "game/form1.h"
#include "tests/fake_host.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bopatron::testing {

// Surfaces of the window's sizes: white masks, black images, a green field.
draw::Surfaces blankSurfaces();

// Writes a file of raw bytes.
void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Writes whack_img.spr with every frame 1 to 15 as (offX, offY, srcX, srcY, w, h).
void writeUniformSprites(const std::string& folder, std::int16_t offX, std::int16_t offY,
                         std::int16_t w, std::int16_t h);

class GameTest : public ::testing::Test {
protected:
    GameTest();
    void TearDown() override;

    std::string path(const char* name) const;
    // Form_Load, with a sprite table whose frames are 40 x 40 at (-20, -30) from the anchor.
    void load();
    // "New Game" with the typed answer and the draw that picks the opening cue.
    void newGame(const std::string& answer, double openingDraw = 0.0);
    // Ticks in which no rat is attempted: one draw of 0 each.
    void quietTicks(int count);
    // One tick with the given draws.
    void tick(std::initializer_list<double> draws);
    // Puts a rat in a hole directly.
    void place(int row, int col, std::int16_t pos, std::int16_t pace);

    QTemporaryDir dir;
    FakeHost host;
    draw::Surfaces surfaces;
    game::Form1 form;
    game::GameState& s;
};

}  // namespace bopatron::testing
