// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "draw/sprite_table.h"

#include <fstream>

namespace bopatron::draw {

std::size_t loadSpriteTable(const std::string& path, SpriteTable& table) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return 0;
    unsigned char bytes[kSpriteBytes];
    file.read(reinterpret_cast<char*>(bytes), kSpriteBytes);
    const auto found = static_cast<std::size_t>(file.gcount());

    std::int16_t* const fields[6] = {table.sprOffX, table.sprOffY, table.sprSrcX,
                                     table.sprSrcY, table.sprW,    table.sprH};
    // Record n (from 1) is the little-endian pair at byte 2 (n - 1).
    for (std::size_t record = 0; 2 * record + 1 < found; ++record) {
        const std::size_t frame = record / 6 + 1;
        const auto value = static_cast<std::uint16_t>(bytes[2 * record] | (bytes[2 * record + 1] << 8));
        fields[record % 6][frame] = static_cast<std::int16_t>(value);
    }
    return found;
}

}  // namespace bopatron::draw
