// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The game's fixed 256-colour palette: an RGB cube of 8 red, 8 green and
// 4 blue levels. Index i has red level i / 32, green (i / 4) % 8, blue i % 4.

#include <QImage>
#include <QVector>

#include <array>

namespace bopatron::tools {

inline constexpr std::array<int, 8> kRedGreenLevels = {0, 32, 64, 96, 128, 160, 192, 255};
inline constexpr std::array<int, 4> kBlueLevels = {0, 64, 128, 255};

QVector<QRgb> paletteColours();
// The palette index nearest to a colour.
int nearestIndex(QRgb colour);
// The colour of the nearest palette entry.
QRgb nearestColour(QRgb colour);
// The picture as an 8-bit image on the palette; every pixel is mapped to its nearest entry.
QImage toPalette(const QImage& picture);

}  // namespace bopatron::tools
