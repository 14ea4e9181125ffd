// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The sprite table: for each frame 1 to 15, where it is placed relative to a
// hole's anchor, where it lies in the sheets and how large it is.

#include <cstdint>
#include <string>

namespace bopatron::draw {

struct SpriteTable {
    std::int16_t sprOffX[16]{};
    std::int16_t sprOffY[16]{};
    std::int16_t sprSrcX[16]{};
    std::int16_t sprSrcY[16]{};
    std::int16_t sprW[16]{};
    std::int16_t sprH[16]{};
};

inline constexpr char kSpriteFile[] = "\\whack_img.spr";
inline constexpr std::size_t kSpriteBytes = 180;  // 15 frames of six 16-bit records

// Reads whack_img.spr into frames 1 to 15. Entry 0 is left alone; records past
// the end of a short or missing file leave their entries as they were. The
// file is never created. Returns the number of bytes of the 180 that were
// found (0 for a missing file).
std::size_t loadSpriteTable(const std::string& path, SpriteTable& table);

}  // namespace bopatron::draw
