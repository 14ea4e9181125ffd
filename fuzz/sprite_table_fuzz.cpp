// The sprite table loader against a whack_img.spr of any length and content.
// Checks: the count of bytes found, each record taken from its little-endian
// pair, and every entry the file does not reach left as it was.

#include "draw/sprite_table.h"
#include "fuzz/fuzz_support.h"
#include "runtime/basic.h"

#include <cstdint>
#include <string>

using namespace bopatron;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = runtime::programPath(fuzz::scratchFolder(), draw::kSpriteFile);
    fuzz::writeWhole(path, std::string(reinterpret_cast<const char*>(data), size));

    constexpr std::int16_t kUntouched = 0x5A5A;
    draw::SpriteTable table;
    std::int16_t* const fields[6] = {table.sprOffX, table.sprOffY, table.sprSrcX,
                                     table.sprSrcY, table.sprW,    table.sprH};
    for (std::int16_t* field : fields) std::fill(field, field + 16, kUntouched);

    const std::size_t found = draw::loadSpriteTable(path, table);
    fuzz::check(found == std::min(size, draw::kSpriteBytes),
                "found " + std::to_string(found) + " of a file of " + std::to_string(size) + " bytes");
    for (int f = 0; f < 6; ++f) fuzz::check(fields[f][0] == kUntouched, "entry 0 was written");
    for (std::size_t record = 0; record < 90; ++record) {
        const std::int16_t value = fields[record % 6][record / 6 + 1];
        if (2 * record + 1 < found) {
            const auto expected = static_cast<std::int16_t>(data[2 * record] | (data[2 * record + 1] << 8));
            fuzz::check(value == expected, "record " + std::to_string(record + 1) + " misread");
        } else {
            fuzz::check(value == kUntouched,
                        "record " + std::to_string(record + 1) + " written past the file");
        }
    }
    return 0;
}
