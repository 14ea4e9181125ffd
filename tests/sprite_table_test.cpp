// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// whack_img.spr: 90 little-endian 16-bit records into frames 1 to 15.
#include "draw/sprite_table.h"
#include "tests/game_fixture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace bopatron::draw {
namespace {

using testing::writeBytes;

class SpriteTableTest : public ::testing::Test {
protected:
    std::string file() const { return dir.filePath("whack_img.spr").toStdString(); }
    QTemporaryDir dir;
    SpriteTable t;
};

// Every byte of a 180-byte file different: byte i is i.
std::vector<std::uint8_t> countingBytes(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

std::int16_t le(std::size_t offset) {
    return static_cast<std::int16_t>(offset | ((offset + 1) << 8));
}

TEST_F(SpriteTableTest, FullFileFillsFramesOneToFifteenInFieldOrder) {
    writeBytes(file(), countingBytes(180));
    EXPECT_EQ(loadSpriteTable(file(), t), 180u);
    for (std::size_t f = 1; f <= 15; ++f) {
        const std::size_t base = 12 * (f - 1);
        EXPECT_EQ(t.sprOffX[f], le(base + 0)) << f;
        EXPECT_EQ(t.sprOffY[f], le(base + 2)) << f;
        EXPECT_EQ(t.sprSrcX[f], le(base + 4)) << f;
        EXPECT_EQ(t.sprSrcY[f], le(base + 6)) << f;
        EXPECT_EQ(t.sprW[f], le(base + 8)) << f;
        EXPECT_EQ(t.sprH[f], le(base + 10)) << f;
    }
    for (const std::int16_t* a : {t.sprOffX, t.sprOffY, t.sprSrcX, t.sprSrcY, t.sprW, t.sprH})
        EXPECT_EQ(a[0], 0);
}

TEST_F(SpriteTableTest, BytesAreLittleEndianAndSigned) {
    std::vector<std::uint8_t> bytes(180, 0);
    bytes[0] = 0x34;
    bytes[1] = 0x12;
    bytes[2] = 0xFF;
    bytes[3] = 0xFF;
    bytes[178] = 0x00;
    bytes[179] = 0x80;
    writeBytes(file(), bytes);
    loadSpriteTable(file(), t);
    EXPECT_EQ(t.sprOffX[1], 4660);
    EXPECT_EQ(t.sprOffY[1], -1);
    EXPECT_EQ(t.sprH[15], -32768);
}

TEST_F(SpriteTableTest, LongShortAndMissingFilesReadWhatTheyHoldOfTheFirst180Bytes) {
    auto bytes = countingBytes(180);
    bytes.insert(bytes.end(), 20, 0xAA);
    writeBytes(file(), bytes);
    EXPECT_EQ(loadSpriteTable(file(), t), 180u);
    EXPECT_EQ(t.sprH[15], le(178)) << "bytes past the first 180 are ignored";
    t = {};
    writeBytes(file(), countingBytes(27));  // 13 whole records and half of the 14th
    EXPECT_EQ(loadSpriteTable(file(), t), 27u);
    EXPECT_EQ(t.sprOffX[3], le(24));
    EXPECT_EQ(t.sprOffY[3], 0) << "the half record stays 0";
    EXPECT_EQ(t.sprW[15], 0);
    QFile::remove(QString::fromStdString(file()));
    EXPECT_EQ(loadSpriteTable(file(), t), 0u);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(file()))) << "a missing file is not created";
}

}  // namespace
}  // namespace bopatron::draw
