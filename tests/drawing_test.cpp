// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// Drawing: the sprite table file, block transfers, the frame compositor and
// the order in which a tick draws, read back from the pixels.
#include "draw/compositor.h"
#include "draw/sprite_table.h"
#include "runtime/basic.h"
#include "tests/fixture.h"

namespace bopatron::draw {
namespace {

using testing::writeBytes;

// Byte i of the file is i: each field's value tells where it was read.
std::string countingBytes(std::size_t n) {
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) bytes += char(i);
    return bytes;
}

std::int16_t le(int offset) { return static_cast<std::int16_t>(offset | ((offset + 1) << 8)); }

TEST(SpriteTable, FramesOneToFifteenInFieldOrderLittleEndianSignedFromTheFirst180Bytes) {
    testing::TempDir dir;
    const std::string file = dir.filePath("whack_img.spr");
    SpriteTable t;
    writeBytes(file, countingBytes(180) + std::string(20, '\xAA'));
    EXPECT_EQ(loadSpriteTable(file, t), 180u) << "bytes past the first 180 are ignored";
    for (int f = 1; f <= 15; ++f) {
        const int base = 12 * (f - 1);
        EXPECT_EQ(std::vector<std::int16_t>({t.sprOffX[f], t.sprOffY[f], t.sprSrcX[f], t.sprSrcY[f], t.sprW[f], t.sprH[f]}),
                  std::vector<std::int16_t>({le(base), le(base + 2), le(base + 4), le(base + 6), le(base + 8), le(base + 10)}))
            << f;
    }
    for (const std::int16_t* a : {t.sprOffX, t.sprOffY, t.sprSrcX, t.sprSrcY, t.sprW, t.sprH}) EXPECT_EQ(a[0], 0);
    writeBytes(file, "\x34\x12\xFF\xFF" + std::string(174, '\0') + std::string("\x00\x80", 2));
    loadSpriteTable(file, t);
    EXPECT_EQ(std::tuple(t.sprOffX[1], t.sprOffY[1], t.sprH[15]), std::tuple(4660, -1, -32768));
    t = {};
    writeBytes(file, countingBytes(27));  // 13 whole records and half of the 14th
    EXPECT_EQ(loadSpriteTable(file, t), 27u);
    EXPECT_EQ(std::tuple(t.sprOffX[3], t.sprOffY[3], t.sprW[15]), std::tuple(le(24), 0, 0)) << "the half record stays 0";
    std::filesystem::remove(file);
    EXPECT_EQ(loadSpriteTable(file, t), 0u);
    EXPECT_FALSE(std::filesystem::exists(file)) << "a missing file is not created";
}

class CompositorTest : public ::testing::Test {
protected:
    Surfaces s = testing::blankSurfaces();
    Dc buf() const { return s.hDC(s.Picbuf); }
    std::uint32_t at(int x, int y) const { return s.Picbuf.pixel(x, y); }
    // The rectangle of pixels in rows top to bottom that differ from white.
    testing::Rect drawn(int top = 0, int bottom = 283) const {
        testing::Rect r;
        for (int y = top; y <= bottom; ++y)
            for (int x = 0; x < 437; ++x)
                if (at(x, y) != testing::rgb(255, 255, 255)) r |= testing::Rect(x, y, 1, 1);
        return r;
    }
};

TEST_F(CompositorTest, RasterOperationsCombineThe32BitPixelsAndMaskThenImageReplacesFigures) {
    s.Picbuf.fill(testing::rgb(0x12, 0x34, 0x56));
    s.Picimg.fill(testing::rgb(0xF0, 0x0F, 0xFF));
    bitBlt(s, buf(), 0, 0, 2, 1, s.hDC(s.Picimg), 0, 0, Rop::SrcAnd);
    EXPECT_EQ(at(0, 0), testing::rgb(0x10, 0x04, 0x56));
    bitBlt(s, buf(), 0, 0, 1, 1, s.hDC(s.Picimg), 0, 0, Rop::SrcInvert);
    EXPECT_EQ(at(0, 0), testing::rgb(0xE0, 0x0B, 0xA9));
    bitBlt(s, buf(), 5, 5, 1, 1, s.hDC(s.Picimg), 0, 0, Rop::SrcCopy);
    EXPECT_EQ(std::pair(at(5, 5), at(6, 5)), std::pair(testing::rgb(0xF0, 0x0F, 0xFF), testing::rgb(0x12, 0x34, 0x56)));

    s.Picbuf.fill(testing::rgb(0, 128, 0));
    s.Picimg.fill(testing::kBlack);
    s.Picmsk.setPixel(0, 0, testing::rgb(0, 0, 0));
    s.Picimg.setPixel(0, 0, testing::rgb(200, 10, 30));
    drawhand(s, 10, 20, 0, selectSheets(s, 0));
    EXPECT_EQ(at(10, 20), testing::rgb(200, 10, 30));
    EXPECT_EQ(at(11, 20), testing::rgb(0, 128, 0)) << "white mask, black image: the field stays";
}

TEST_F(CompositorTest, TransfersAreClippedToBothSurfaces) {
    const auto copy = [this](Dc to, int x, int y, int w, int h, Dc from, int sx, int sy) {
        bitBlt(s, to, x, y, w, h, from, sx, sy, Rop::SrcCopy);
    };
    const std::tuple<int, int, int, int, testing::Rect> cases[] = {
        {430, 280, 270, 178, testing::Rect(430, 280, 5, 3)},  // past both surfaces' right and bottom edges
        {-5, -5, 0, 0, testing::Rect(0, 0, 5, 5)},            // past the buffer's left and top
        {20, 0, -3, -3, testing::Rect(23, 3, 7, 7)},          // past the sheet's left and top
    };
    for (const auto& [x, y, sx, sy, rect] : cases) {
        s.Picbuf.fill(testing::kWhite);
        copy(buf(), x, y, 10, 10, s.hDC(s.Picimg), sx, sy);
        EXPECT_EQ(drawn(), rect) << x << "," << y;
    }
    copy(buf(), 2147483600, 2147483600, 2000, 2000, s.hDC(s.Picimg), 0, 0);
    copy(0, 0, 0, 10, 10, s.hDC(s.Picimg), 0, 0);
    copy(buf(), 0, 0, 10, 10, 12345, 0, 0);

    // Whole rows move as one block, and the rows clipped off below stay untouched.
    for (int y = 0; y < 284; ++y) s.Picbuf.setPixel(7, y, testing::rgb(y % 256, 1, 2));
    s.window.fill(testing::kWhite);
    copy(s.hDC(s.window), 0, 200, 437, 284, buf(), 0, 0);
    EXPECT_EQ(std::pair(s.window.pixel(7, 199), s.window.pixel(7, 283)),
              std::pair(testing::rgb(255, 255, 255), testing::rgb(83, 1, 2)));
    // Overlapping rectangles of one surface read the source as it was before.
    copy(buf(), 7, 1, 1, 10, buf(), 7, 0);
    EXPECT_EQ(std::pair(at(7, 10), at(7, 11)), std::pair(testing::rgb(9, 1, 2), testing::rgb(11, 1, 2)));
}

TEST_F(CompositorTest, RestoreLeavesTheLastColumnAndSheetsFollowTheCharacter) {
    s.Picbuf.fill(testing::kRed);
    restoreBackground(s);
    EXPECT_EQ(std::pair(at(435, 100), at(436, 100)), std::pair(testing::rgb(0, 128, 0), testing::kRed));
    const Surface* sheets[3][2] = {{&s.Picmsk, &s.Picimg}, {&s.Picmsk2, &s.Picimg2}, {&s.Picmsk3, &s.Picimg3}};
    for (std::int16_t kind = 0; kind < 3; ++kind)
        EXPECT_EQ(std::pair(selectSheets(s, kind).Picvarmsk, selectSheets(s, kind).Picvarimg),
                  std::pair(s.hDC(*sheets[kind][0]), s.hDC(*sheets[kind][1])));
}

TEST_F(CompositorTest, HandPosesComeFromTheirSheetRowsIntoTheirRectangles) {
    // Each row of the image sheet its own colour: the first drawn row tells the source row.
    s.Picmsk.fill(testing::kBlack);
    for (int y = 0; y < 181; ++y)
        for (int x = 0; x < 275; ++x) s.Picimg.setPixel(x, y, testing::rgb(y + 1, 7, 7));
    const std::tuple<std::int16_t, testing::Rect, int> poses[] = {{1, testing::Rect(50, 94, 90, 64), 54}, {0, testing::Rect(50, 100, 97, 54), 0}};
    for (const auto& [down, rect, firstRow] : poses) {
        s.Picbuf.fill(testing::kWhite);
        drawhand(s, 50, 100, down, selectSheets(s, 0));
        EXPECT_EQ(drawn(), rect);
        EXPECT_EQ(at(rect.x, rect.y), testing::rgb(firstRow + 1, 7, 7)) << "the pose starts at sheet row " << firstRow;
    }
}

TEST_F(CompositorTest, DrawARatUsesTheFramesOffsetSourceAndSize) {
    SpriteTable t;
    t.sprOffX[7] = -5;
    t.sprOffY[7] = -12;
    t.sprSrcX[7] = 120;
    t.sprSrcY[7] = 40;
    t.sprW[7] = 3;
    t.sprH[7] = 2;
    s.Picmsk2.fill(testing::kBlack);
    s.Picimg2.setPixel(120, 40, testing::rgb(1, 2, 3));
    s.Picimg2.setPixel(122, 41, testing::rgb(4, 5, 6));
    s.Picbuf.fill(testing::kWhite);
    const long before = s.transfers;
    drawarat(s, t, 100, 50, 7, selectSheets(s, 1));
    EXPECT_EQ(std::pair(at(95, 38), at(97, 39)), std::pair(testing::rgb(1, 2, 3), testing::rgb(4, 5, 6)));
    EXPECT_EQ(drawn(), testing::Rect(95, 38, 3, 2));
    drawarat(s, t, 100, 50, 0, selectSheets(s, 1));
    drawarat(s, t, 100, 50, -3, selectSheets(s, 1));
    EXPECT_EQ(s.transfers - before, 2) << "two for the rat, none for an empty hole";
    EXPECT_THROW(drawarat(s, t, -32768, 50, 7, selectSheets(s, 1)), runtime::RuntimeError);
}

TEST_F(CompositorTest, StatusLinesStartAtNinetyTenInPlainDecimalOneLineApart) {
    std::vector<std::string> lines;
    s.Picbuf.onPrint = [&lines](std::string_view line) { lines.emplace_back(line); };
    drawStatusText(s, -20, 1000);
    EXPECT_EQ(lines, (std::vector<std::string>{"Score : -20", "Time  : 0"}));
    EXPECT_EQ(std::pair(s.Picbuf.text.currentX, s.Picbuf.text.currentY), std::pair(0, 10 + 2 * 14)) << "lines of 14";
    // The letters: the first glyph's top-left at the text position, the time
    // line at x = 90 too, 14 pixels lower.
    s.Picbuf.fill(testing::kWhite);
    drawStatusText(s, 88, 1);
    const testing::Rect score = drawn(0, 23), time = drawn(24, 37);
    EXPECT_TRUE(score.left() - 90 <= 1 && score.left() >= 90) << score.left();
    EXPECT_TRUE(score.top() - 10 <= 2 && score.top() >= 10) << "the glyph's top, not its baseline: " << score.top();
    EXPECT_EQ(std::pair(time.left(), time.top()), std::pair(90, score.top() + 14));
}

TEST_F(CompositorTest, TabMovesToTheNextStopEightyPixelsFromTheLineStart) {
    const std::pair<const char*, int> cases[] = {{"\tB", 80}, {"A\tB", 80}, {"AAAAAAAAAA\tB", 160}, {"AAAAAAAAAAA\tB", 160}};
    for (const auto& [line, stop] : cases) {
        s.Picbuf.fill(testing::kWhite);
        s.Picbuf.text.currentX = s.Picbuf.text.currentY = 0;
        s.Picbuf.print(line);
        int left = -1;  // the first inked column of the B, which lies past every A
        for (int x = stop - 40; x < 437 && left < 0; ++x)
            for (int y = 0; y < 13; ++y)
                if (at(x, y) != testing::kWhite) left = x;
        EXPECT_TRUE(left >= stop && left < stop + 4) << line << ": the B starts at " << left;
    }
}

// A tick on blank sheets whose frames 11 and 12 are red and blue 40 x 40
// blocks: which frame a hole shows, and which of two overlapping holes
// lies on top, are read from the pixels.
class TickOrderTest : public testing::GameTest {
protected:
    void SetUp() override {
        load();
        surfaces.Picmsk.fill(testing::kBlack);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                surfaces.Picimg.setPixel(100 + x, y, kRed);
                surfaces.Picimg.setPixel(150 + x, y, kBlue);
            }
        frame(12, 0, 0, 100);
        frame(11, -110, 21, 150);
        s.handX = 300;  // the hand, black on these sheets, out of the way
        s.handY = 200;
        newGame("0");
    }
    void frame(int f, std::int16_t offX, std::int16_t offY, std::int16_t srcX) {
        s.spr.sprOffX[f] = offX;
        s.spr.sprOffY[f] = offY;
        s.spr.sprSrcX[f] = srcX;
        s.spr.sprSrcY[f] = 0;
    }
    std::uint32_t at(int x, int y) const { return surfaces.window.pixel(x, y); }
    static constexpr std::uint32_t kRed = 0xffff0000, kBlue = 0xff0000ff;
};

TEST_F(TickOrderTest, EachHoleIsDrawnBeforeItsStepAndColumnByColumn) {
    place(0, 0, 12, 1);  // steps to 11 in this tick, after it is drawn
    // Hole (1,0) at frame 12 covers x 127-166; hole (0,1) at frame 11 covers
    // x 137-176 of the same rows: visited column by column, (0,1) comes later and lies on top.
    place(1, 0, 12, 30000);
    place(0, 1, 11, 30000);
    tick();
    EXPECT_EQ(std::pair(at(190, 60), s.ratPos[0][0]), std::pair(kRed, std::int16_t(11))) << "drawn before its step";
    EXPECT_EQ(std::pair(at(130, 90), at(150, 90)), std::pair(kRed, kBlue)) << "hole (0,1) is drawn after hole (1,0)";
}

TEST_F(TickOrderTest, StatusTextIsDrawnEveryTickUnderTheTableAndTheRats) {
    std::vector<std::string> lines;
    surfaces.Picbuf.onPrint = [&lines](std::string_view line) { lines.emplace_back(line); };
    frame(12, -97, -38, 100);  // hole (0,0) at frame 12 covers x 90-129, y 10-49
    place(0, 0, 12, 30000);
    s.ticks = 998;
    tick();
    EXPECT_EQ(lines, (std::vector<std::string>{"Score : 0", "Time  : 1"}));
    for (int y = 10; y < 40; ++y)
        for (int x = 90; x < 130; ++x) ASSERT_EQ(at(x, y), kRed) << "the rat covers the text at " << x << "," << y;
    lines.clear();
    tick();  // tick 1000: the status text, then the table, then the rats
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(std::tuple(lines[0], lines[1], lines[4]), std::tuple("Score : 0", "Time  : 0", " Top 5 Scores"));
}

TEST_F(TickOrderTest, FullTickMakesAtMost22TransfersAndRepaintOnlyCopies) {
    for (int hole = 0; hole < 9; ++hole) place(hole / 3, hole % 3, 12, 7);
    long before = surfaces.transfers;
    tick();
    EXPECT_EQ(surfaces.transfers - before, 22);
    place(0, 0, 0, 7);
    before = surfaces.transfers;
    tick();
    EXPECT_EQ(surfaces.transfers - before, 20);
    EXPECT_EQ(surfaces.window.pixels(), surfaces.Picbuf.pixels());
    surfaces.Picbuf.setPixel(3, 3, testing::rgb(9, 9, 9));
    const std::vector<std::uint32_t> buffer = surfaces.Picbuf.pixels();
    form.Form_Paint();
    EXPECT_EQ(surfaces.window.pixel(3, 3), testing::rgb(9, 9, 9));
    EXPECT_EQ(surfaces.Picbuf.pixels(), buffer);
}

}  // namespace
}  // namespace bopatron::draw
