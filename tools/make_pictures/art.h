// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The drawings: the three characters, the hand and the field. Everything is
// painted with QPainter from fixed numbers, so every run gives the same pixels.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>

namespace bopatron::tools {

// The full figure of a character rising from a hole: head and shoulders,
// kFigureWidth x kFigureHeight, transparent around it.
inline constexpr int kFigureWidth = 44;
inline constexpr int kFigureHeight = 45;
QImage ratFigure(int kind);

// A whacked character: squashed (stage 0, frame 13) or flattened (stage 1, frame 14).
inline constexpr int kWhackedWidth = 48;
QImage whackedFigure(int kind, int stage, int height);

// The hand poses: up (97 x 54), down (90 x 64) and the open hand that is never drawn.
QImage handUp();
QImage handDown();
QImage handOpen(int width, int height);

// The playing field, 436 x 284, with the nine holes and the portrait.
struct Opening {
    QRect rect;  // the dark opening
};
QImage field();

// The program's icon at a size.
QImage icon(int size);

}  // namespace bopatron::tools
