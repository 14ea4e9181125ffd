// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// Block transfers, the frame compositor and the order in which a tick draws.
#include "draw/compositor.h"
#include "runtime/basic.h"
#include "tests/game_fixture.h"

#include <gtest/gtest.h>

namespace bopatron::draw {
namespace {

class CompositorTest : public ::testing::Test {
protected:
    Surfaces s = testing::blankSurfaces();
    Dc buf() const { return s.hDC(s.Picbuf); }
    QRgb at(int x, int y) const { return s.Picbuf.image().pixel(x, y); }
    // The rectangle of pixels that differ from the colour.
    QRect bounds(QRgb background) const {
        QRect r;
        for (int y = 0; y < 284; ++y)
            for (int x = 0; x < 437; ++x)
                if (at(x, y) != background) r |= QRect(x, y, 1, 1);
        return r;
    }
};

TEST_F(CompositorTest, RasterOperationsCombineThe32BitPixelsAndMaskThenImageReplacesFigures) {
    s.Picbuf.image().fill(QColor(0x12, 0x34, 0x56));
    s.Picimg.image().fill(QColor(0xF0, 0x0F, 0xFF));
    bitBlt(s, buf(), 0, 0, 2, 1, s.hDC(s.Picimg), 0, 0, Rop::SrcAnd);
    EXPECT_EQ(at(0, 0), qRgb(0x10, 0x04, 0x56));
    bitBlt(s, buf(), 0, 0, 1, 1, s.hDC(s.Picimg), 0, 0, Rop::SrcInvert);
    EXPECT_EQ(at(0, 0), qRgb(0xE0, 0x0B, 0xA9));
    bitBlt(s, buf(), 5, 5, 1, 1, s.hDC(s.Picimg), 0, 0, Rop::SrcCopy);
    EXPECT_EQ(at(5, 5), qRgb(0xF0, 0x0F, 0xFF));
    EXPECT_EQ(at(6, 5), qRgb(0x12, 0x34, 0x56));

    s.Picbuf.image().fill(QColor(0, 128, 0));
    s.Picimg.image().fill(Qt::black);
    s.Picmsk.image().setPixel(0, 0, qRgb(0, 0, 0));
    s.Picimg.image().setPixel(0, 0, qRgb(200, 10, 30));
    drawhand(s, 10, 20, 0, selectSheets(s, 0));
    EXPECT_EQ(at(10, 20), qRgb(200, 10, 30));
    EXPECT_EQ(at(11, 20), qRgb(0, 128, 0)) << "white mask, black image: the field stays";
}

TEST_F(CompositorTest, TransfersAreClippedToBothSurfaces) {
    s.Picbuf.image().fill(Qt::white);
    // Source partly outside the sheet, destination partly outside the buffer.
    bitBlt(s, buf(), 430, 280, 20, 20, s.hDC(s.Picimg), 270, 178, Rop::SrcCopy);
    EXPECT_EQ(at(434, 282), qRgb(0, 0, 0));
    EXPECT_EQ(at(435, 282), qRgb(255, 255, 255)) << "no source pixel: left as it was";
    bitBlt(s, buf(), -5, -5, 10, 10, s.hDC(s.Picimg), 0, 0, Rop::SrcCopy);
    EXPECT_EQ(at(4, 4), qRgb(0, 0, 0));
    EXPECT_EQ(at(5, 5), qRgb(255, 255, 255));
    bitBlt(s, buf(), 0, 0, 10, 10, s.hDC(s.Picimg), -3, -3, Rop::SrcCopy);
    EXPECT_EQ(at(2, 8), qRgb(255, 255, 255)) << "no source pixel left of the sheet";
    EXPECT_EQ(at(6, 6), qRgb(0, 0, 0));
    bitBlt(s, buf(), 2147483600, 2147483600, 2000, 2000, s.hDC(s.Picimg), 0, 0, Rop::SrcCopy);
    bitBlt(s, 0, 0, 0, 10, 10, s.hDC(s.Picimg), 0, 0, Rop::SrcCopy);
    bitBlt(s, buf(), 0, 0, 10, 10, 12345, 0, 0, Rop::SrcCopy);

    // Whole rows move as one block, and the rows clipped off below stay untouched.
    for (int y = 0; y < 284; ++y) s.Picbuf.image().setPixel(7, y, qRgb(y % 256, 1, 2));
    s.window.image().fill(Qt::white);
    bitBlt(s, s.hDC(s.window), 0, 200, 437, 284, buf(), 0, 0, Rop::SrcCopy);
    EXPECT_EQ(s.window.image().pixel(7, 199), qRgb(255, 255, 255));
    EXPECT_EQ(s.window.image().pixel(7, 283), qRgb(83, 1, 2));
    // Overlapping rectangles of one surface read the source as it was before.
    bitBlt(s, buf(), 7, 1, 1, 10, buf(), 7, 0, Rop::SrcCopy);
    EXPECT_EQ(at(7, 10), qRgb(9, 1, 2));
    EXPECT_EQ(at(7, 11), qRgb(11, 1, 2));
}

TEST_F(CompositorTest, RestoreLeavesTheLastColumnAndSheetsFollowTheCharacter) {
    s.Picbuf.image().fill(Qt::red);
    restoreBackground(s);
    EXPECT_EQ(at(435, 100), qRgb(0, 128, 0));
    EXPECT_EQ(at(436, 100), QColor(Qt::red).rgb());
    const Surface* sheets[3][2] = {{&s.Picmsk, &s.Picimg}, {&s.Picmsk2, &s.Picimg2}, {&s.Picmsk3, &s.Picimg3}};
    for (std::int16_t kind = 0; kind < 3; ++kind) {
        EXPECT_EQ(selectSheets(s, kind).Picvarmsk, s.hDC(*sheets[kind][0]));
        EXPECT_EQ(selectSheets(s, kind).Picvarimg, s.hDC(*sheets[kind][1]));
    }
}

TEST_F(CompositorTest, HandPosesComeFromTheirSheetRowsIntoTheirRectangles) {
    // Each row of the image sheet its own colour: the first drawn row tells the source row.
    s.Picmsk.image().fill(Qt::black);
    for (int y = 0; y < 181; ++y)
        for (int x = 0; x < 275; ++x) s.Picimg.image().setPixel(x, y, qRgb(y + 1, 7, 7));
    s.Picbuf.image().fill(Qt::white);
    drawhand(s, 50, 100, 1, selectSheets(s, 0));
    EXPECT_EQ(bounds(qRgb(255, 255, 255)), QRect(50, 94, 90, 64));
    EXPECT_EQ(at(50, 94), qRgb(55, 7, 7)) << "the down pose starts at sheet row 54";
    s.Picbuf.image().fill(Qt::white);
    drawhand(s, 50, 100, 0, selectSheets(s, 0));
    EXPECT_EQ(bounds(qRgb(255, 255, 255)), QRect(50, 100, 97, 54));
    EXPECT_EQ(at(50, 100), qRgb(1, 7, 7));
}

TEST_F(CompositorTest, DrawARatUsesTheFramesOffsetSourceAndSize) {
    SpriteTable t;
    t.sprOffX[7] = -5;
    t.sprOffY[7] = -12;
    t.sprSrcX[7] = 120;
    t.sprSrcY[7] = 40;
    t.sprW[7] = 3;
    t.sprH[7] = 2;
    s.Picmsk2.image().fill(Qt::black);
    s.Picimg2.image().setPixel(120, 40, qRgb(1, 2, 3));
    s.Picimg2.image().setPixel(122, 41, qRgb(4, 5, 6));
    s.Picbuf.image().fill(Qt::white);
    const long before = s.transfers;
    drawarat(s, t, 100, 50, 7, selectSheets(s, 1));
    EXPECT_EQ(s.transfers - before, 2);
    EXPECT_EQ(at(95, 38), qRgb(1, 2, 3));
    EXPECT_EQ(at(97, 39), qRgb(4, 5, 6));
    EXPECT_EQ(bounds(qRgb(255, 255, 255)), QRect(95, 38, 3, 2));
    drawarat(s, t, 100, 50, 0, selectSheets(s, 1));
    drawarat(s, t, 100, 50, -3, selectSheets(s, 1));
    EXPECT_EQ(s.transfers - before, 2) << "an empty hole makes no transfer";
    EXPECT_THROW(drawarat(s, t, -32768, 50, 7, selectSheets(s, 1)), runtime::RuntimeError);
}

TEST_F(CompositorTest, StatusLinesStartAtNinetyTenInPlainDecimalOneLineApart) {
    std::vector<std::string> lines;
    s.Picbuf.onPrint = [&lines](std::string_view line) { lines.emplace_back(line); };
    drawStatusText(s, -20, 1000);
    EXPECT_EQ(lines, (std::vector<std::string>{"Score : -20", "Time  : 0"}));
    EXPECT_EQ(s.Picbuf.text.currentX, 0);
    EXPECT_EQ(s.Picbuf.text.currentY, 10 + 2 * 14) << "lines of 14 pixels";
    // The letters: the first glyph's top-left at the text position, the time
    // line at x = 90 too, 14 pixels lower.
    s.Picbuf.image().fill(Qt::white);
    s.Picbuf.text.foreColor = Qt::black;
    drawStatusText(s, 88, 1);
    auto line = [this](int top) {
        QRect r;
        for (int y = top; y < top + 14; ++y)
            for (int x = 0; x < 437; ++x)
                if (at(x, y) != qRgb(255, 255, 255)) r |= QRect(x, y, 1, 1);
        return r;
    };
    const QRect score = line(10), time = line(24);
    EXPECT_LE(score.left() - 90, 1) << score.left();
    EXPECT_GE(score.left(), 90);
    EXPECT_LE(score.top() - 10, 2) << "the glyph's top, not its baseline, at y = 10: " << score.top();
    EXPECT_GE(score.top(), 10);
    EXPECT_EQ(time.left(), 90);
    EXPECT_EQ(time.top(), score.top() + 14);
    EXPECT_EQ(bounds(qRgb(255, 255, 255)).top(), score.top()) << "nothing above the first line";
}

// A tick on blank sheets whose frames 11 and 12 are red and blue 40 x 40
// blocks: which frame a hole shows, and which of two overlapping holes
// lies on top, are read from the pixels.
class TickOrderTest : public testing::GameTest {
protected:
    void SetUp() override {
        load();
        surfaces.Picmsk.image().fill(Qt::black);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                surfaces.Picimg.image().setPixel(100 + x, y, kRed);
                surfaces.Picimg.image().setPixel(150 + x, y, kBlue);
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
    QRgb at(int x, int y) const { return surfaces.window.image().pixel(x, y); }
    static constexpr QRgb kRed = 0xffff0000, kBlue = 0xff0000ff;
};

TEST_F(TickOrderTest, EachHoleIsDrawnBeforeItsStepAndColumnByColumn) {
    place(0, 0, 12, 1);  // steps to 11 in this tick, after it is drawn
    // Hole (1,0) at frame 12 covers x 127-166; hole (0,1) at frame 11 covers
    // x 137-176 of the same rows: visited column by column, (0,1) comes later and lies on top.
    place(1, 0, 12, 30000);
    place(0, 1, 11, 30000);
    tick({0.0});
    EXPECT_EQ(at(190, 60), kRed) << "hole (0,0) shows the frame it had before its step";
    EXPECT_EQ(s.ratPos[0][0], 11);
    EXPECT_EQ(at(130, 90), kRed);
    EXPECT_EQ(at(150, 90), kBlue) << "hole (0,1) is drawn after hole (1,0)";
}

TEST_F(TickOrderTest, StatusTextIsDrawnEveryTickUnderTheTableAndTheRats) {
    std::vector<std::string> lines;
    surfaces.Picbuf.onPrint = [&lines](std::string_view line) { lines.emplace_back(line); };
    frame(12, -97, -38, 100);  // hole (0,0) at frame 12 covers x 90-129, y 10-49
    place(0, 0, 12, 30000);
    s.ticks = 998;
    tick({0.0});
    EXPECT_EQ(lines, (std::vector<std::string>{"Score : 0", "Time  : 1"}));
    for (int y = 10; y < 40; ++y)
        for (int x = 90; x < 130; ++x) ASSERT_EQ(at(x, y), kRed) << "the rat covers the text at " << x << "," << y;
    lines.clear();
    host.answers({});
    tick({0.0});  // tick 1000: the status text, then the table, then the rats
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Score : 0");
    EXPECT_EQ(lines[1], "Time  : 0");
    EXPECT_EQ(lines[4], " Top 5 Scores");
}

class TickTransfersTest : public testing::GameTest {};

TEST_F(TickTransfersTest, FullTickMakesAtMost22TransfersAndRepaintOnlyCopies) {
    load();
    newGame("0");
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) place(row, col, 12, 7);
    const long before = surfaces.transfers;
    tick({0.0});
    EXPECT_EQ(surfaces.transfers - before, 22);
    place(0, 0, 0, 7);
    const long second = surfaces.transfers;
    tick({0.0});
    EXPECT_EQ(surfaces.transfers - second, 20);
    EXPECT_EQ(surfaces.window.image(), surfaces.Picbuf.image());

    surfaces.Picbuf.image().setPixel(3, 3, qRgb(9, 9, 9));
    const QImage buffer = surfaces.Picbuf.image();
    form.Form_Paint();
    EXPECT_EQ(surfaces.window.image().pixel(3, 3), qRgb(9, 9, 9));
    EXPECT_EQ(surfaces.Picbuf.image(), buffer);
}

}  // namespace
}  // namespace bopatron::draw
