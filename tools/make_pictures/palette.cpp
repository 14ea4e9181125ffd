// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "palette.h"

#include <cstdlib>

namespace bopatron::tools {

namespace {

template <std::size_t N>
int nearestLevel(const std::array<int, N>& levels, int value) {
    int best = 0;
    for (int i = 1; i < static_cast<int>(N); ++i) {
        if (std::abs(levels[static_cast<std::size_t>(i)] - value) <
            std::abs(levels[static_cast<std::size_t>(best)] - value)) {
            best = i;
        }
    }
    return best;
}

}  // namespace

QVector<QRgb> paletteColours() {
    QVector<QRgb> colours;
    for (int i = 0; i < 256; ++i) {
        colours.push_back(qRgb(kRedGreenLevels[static_cast<std::size_t>(i / 32)],
                               kRedGreenLevels[static_cast<std::size_t>((i / 4) % 8)],
                               kBlueLevels[static_cast<std::size_t>(i % 4)]));
    }
    return colours;
}

// The cube is separable, so the nearest entry is the nearest level of each channel.
int nearestIndex(QRgb colour) {
    return nearestLevel(kRedGreenLevels, qRed(colour)) * 32 +
           nearestLevel(kRedGreenLevels, qGreen(colour)) * 4 + nearestLevel(kBlueLevels, qBlue(colour));
}

QRgb nearestColour(QRgb colour) { return paletteColours()[nearestIndex(colour)]; }

QImage toPalette(const QImage& picture) {
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    QImage out(source.size(), QImage::Format_Indexed8);
    out.setColorTable(paletteColours());
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        uchar* line = out.scanLine(y);
        for (int x = 0; x < source.width(); ++x) line[x] = static_cast<uchar>(nearestIndex(in[x]));
    }
    return out;
}

}  // namespace bopatron::tools
