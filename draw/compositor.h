// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The frame compositor: every picture is built in the back buffer Picbuf and
// shown in the window by one copy.

#include "draw/sprite_table.h"
#include "draw/surface.h"

#include <cstdint>

namespace bopatron::draw {

// The device contexts of the current character's mask and image sheets,
// chosen once at the start of a tick and used for all of it.
struct SheetPair {
    Dc Picvarmsk = 0;
    Dc Picvarimg = 0;
};

// The window's button-face and button-text colours, fixed so that every
// platform shows, and every demo checks, the same frames.
inline constexpr std::uint32_t kButtonFace = 0xffefefef;
inline constexpr std::uint32_t kButtonText = 0xff000000;

inline constexpr char kStatusFont[] = "Terminal";
inline constexpr double kStatusFontSize = 9.0;
inline constexpr char kScoreLabel[] = "Score : ";
inline constexpr char kTimeLabel[] = "Time  : ";

// Copies the background into the back buffer.
void restoreBackground(Surfaces& s);
// The sheets of character ratKind (0, 1 or 2).
SheetPair selectSheets(const Surfaces& s, std::int16_t ratKind);
// "Score : " and "Time  : " lines at (90, 10), in the status font.
void drawStatusText(Surfaces& s, std::int16_t score, std::int16_t ticks);
// Draws frame cell of the sprite table at the anchor (X, Y); nothing for cell 0 or less.
void drawarat(Surfaces& s, const SpriteTable& t, std::int16_t X, std::int16_t Y, std::int16_t cell,
              SheetPair sheets);
// Draws the hand, up (handDown 0) or down (1).
void drawhand(Surfaces& s, std::int16_t handX, std::int16_t handY, std::int16_t handDown,
              SheetPair sheets);
// Copies the back buffer into the window.
void present(Surfaces& s);

}  // namespace bopatron::draw
