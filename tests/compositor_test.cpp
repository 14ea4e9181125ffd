// Block transfers and the frame compositor.
#include "draw/compositor.h"
#include "runtime/basic.h"
#include "tests/game_fixture.h"

#include <QFont>
#include <QFontInfo>

#include <gtest/gtest.h>

namespace bopatron::draw {
namespace {

class CompositorTest : public ::testing::Test {
protected:
    Surfaces s = testing::blankSurfaces();
    Dc buf() const { return s.hDC(s.Picbuf); }
    QRgb at(int x, int y) const { return s.Picbuf.image().pixel(x, y); }
};

TEST_F(CompositorTest, RasterOperationsCombineThe32BitPixels) {
    s.Picbuf.image().fill(QColor(0x12, 0x34, 0x56));
    s.Picimg.image().fill(QColor(0xF0, 0x0F, 0xFF));
    bitBlt(s, buf(), 0, 0, 2, 1, s.hDC(s.Picimg), 0, 0, Rop::SrcAnd);
    EXPECT_EQ(at(0, 0), qRgb(0x10, 0x04, 0x56));
    bitBlt(s, buf(), 0, 0, 1, 1, s.hDC(s.Picimg), 0, 0, Rop::SrcInvert);
    EXPECT_EQ(at(0, 0), qRgb(0xE0, 0x0B, 0xA9));
    bitBlt(s, buf(), 5, 5, 1, 1, s.hDC(s.Picimg), 0, 0, Rop::SrcCopy);
    EXPECT_EQ(at(5, 5), qRgb(0xF0, 0x0F, 0xFF));
    EXPECT_EQ(at(6, 5), qRgb(0x12, 0x34, 0x56));
}

TEST_F(CompositorTest, MaskThenImageReplacesOnlyTheFiguresPixels) {
    s.Picbuf.image().fill(QColor(0, 128, 0));
    s.Picmsk.image().setPixel(0, 0, qRgb(0, 0, 0));
    s.Picimg.image().setPixel(0, 0, qRgb(200, 10, 30));
    drawhand(s, 10, 20, 0, selectSheets(s, 0));
    EXPECT_EQ(at(10, 20), qRgb(200, 10, 30));
    EXPECT_EQ(at(11, 20), qRgb(0, 128, 0));
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
    EXPECT_EQ(at(2, 2), qRgb(0, 0, 0)) << "drawn earlier at (-5, -5)";
    EXPECT_EQ(at(2, 8), qRgb(255, 255, 255)) << "no source pixel left of the sheet";
    EXPECT_EQ(at(6, 6), qRgb(0, 0, 0));
    bitBlt(s, buf(), 2147483600, 2147483600, 2000, 2000, s.hDC(s.Picimg), 0, 0, Rop::SrcCopy);
    bitBlt(s, 0, 0, 0, 10, 10, s.hDC(s.Picimg), 0, 0, Rop::SrcCopy);
    bitBlt(s, buf(), 0, 0, 10, 10, 12345, 0, 0, Rop::SrcCopy);
}

TEST_F(CompositorTest, WholeRowBlocksAndCopiesOfASurfaceOntoItself) {
    // Full-width rows of two surfaces of one width move as one block; the
    // rows clipped off below must stay untouched.
    for (int y = 0; y < 284; ++y) s.Picbuf.image().setPixel(7, y, qRgb(y % 256, 1, 2));
    s.window.image().fill(Qt::white);
    bitBlt(s, s.hDC(s.window), 0, 200, 437, 284, buf(), 0, 0, Rop::SrcCopy);
    EXPECT_EQ(s.window.image().pixel(7, 199), qRgb(255, 255, 255));
    EXPECT_EQ(s.window.image().pixel(7, 200), qRgb(0, 1, 2));
    EXPECT_EQ(s.window.image().pixel(7, 283), qRgb(83, 1, 2));

    // Overlapping rectangles of one surface read the source as it was before.
    bitBlt(s, buf(), 7, 1, 1, 10, buf(), 7, 0, Rop::SrcCopy);
    EXPECT_EQ(at(7, 1), qRgb(0, 1, 2));
    EXPECT_EQ(at(7, 10), qRgb(9, 1, 2));
    EXPECT_EQ(at(7, 11), qRgb(11, 1, 2));
    bitBlt(s, buf(), 7, 0, 1, 5, buf(), 7, 0, Rop::SrcInvert);
    EXPECT_EQ(at(7, 0), qRgb(0, 0, 0)) << "a pixel combined with itself";
}

TEST_F(CompositorTest, RestoreLeavesTheLastColumnAsItWas) {
    s.Picbuf.image().fill(Qt::red);
    restoreBackground(s);
    EXPECT_EQ(at(435, 100), qRgb(0, 128, 0));
    EXPECT_EQ(at(436, 100), QColor(Qt::red).rgb());
}

TEST_F(CompositorTest, SheetsFollowTheCharacter) {
    EXPECT_EQ(selectSheets(s, 0).Picvarmsk, s.hDC(s.Picmsk));
    EXPECT_EQ(selectSheets(s, 0).Picvarimg, s.hDC(s.Picimg));
    EXPECT_EQ(selectSheets(s, 1).Picvarmsk, s.hDC(s.Picmsk2));
    EXPECT_EQ(selectSheets(s, 1).Picvarimg, s.hDC(s.Picimg2));
    EXPECT_EQ(selectSheets(s, 2).Picvarmsk, s.hDC(s.Picmsk3));
    EXPECT_EQ(selectSheets(s, 2).Picvarimg, s.hDC(s.Picimg3));
}

TEST_F(CompositorTest, HandRectanglesForBothPoses) {
    s.Picmsk.image().fill(Qt::black);
    s.Picimg.image().fill(Qt::white);
    auto bounds = [this] {
        QRect r;
        for (int y = 0; y < 284; ++y)
            for (int x = 0; x < 437; ++x)
                if (at(x, y) == qRgb(255, 255, 255)) r |= QRect(x, y, 1, 1);
        return r;
    };
    s.Picbuf.image().fill(Qt::black);
    drawhand(s, 50, 100, 1, selectSheets(s, 0));
    EXPECT_EQ(bounds(), QRect(50, 94, 90, 64));
    s.Picbuf.image().fill(Qt::black);
    drawhand(s, 50, 100, 0, selectSheets(s, 0));
    EXPECT_EQ(bounds(), QRect(50, 100, 97, 54));
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
    EXPECT_EQ(at(96, 38), qRgb(0, 0, 0));
    EXPECT_EQ(at(98, 39), qRgb(255, 255, 255));
    drawarat(s, t, 100, 50, 0, selectSheets(s, 1));
    drawarat(s, t, 100, 50, -3, selectSheets(s, 1));
    EXPECT_EQ(s.transfers - before, 2) << "an empty hole makes no transfer";
    EXPECT_THROW(drawarat(s, t, -32768, 50, 7, selectSheets(s, 1)), runtime::RuntimeError);
}

TEST_F(CompositorTest, StatusLinesShowScoreAndTimeLeftInPlainDecimal) {
    std::vector<std::string> lines;
    s.Picbuf.onPrint = [&lines](std::string_view line) { lines.emplace_back(line); };
    drawStatusText(s, -20, 1000);
    drawStatusText(s, 36, 1);
    EXPECT_EQ(lines, (std::vector<std::string>{"Score : -20", "Time  : 0", "Score : 36", "Time  : 999"}));
    EXPECT_EQ(s.Picbuf.text.currentX, 0);
    EXPECT_EQ(s.Picbuf.text.fontSize, 9.0);
}

TEST_F(CompositorTest, StatusTextLiesUnderTheHand) {
    s.Picbuf.image().fill(QColor(0, 128, 0));
    s.Picbuf.text.foreColor = Qt::black;
    drawStatusText(s, 123, 500);
    s.Picmsk.image().fill(Qt::black);
    s.Picimg.image().fill(QColor(255, 0, 0));
    drawhand(s, 85, 5, 0, selectSheets(s, 0));
    for (int y = 5; y < 59; ++y)
        for (int x = 85; x < 182; ++x) ASSERT_EQ(at(x, y), qRgb(255, 0, 0)) << x << "," << y;
}

class TickTransfersTest : public testing::GameTest {};

TEST_F(TickTransfersTest, FullTickMakesAtMost22TransfersAndOneCopyToTheWindow) {
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
}

TEST_F(TickTransfersTest, RepaintCopiesTheBackBufferAndNothingElse) {
    load();
    surfaces.Picbuf.image().setPixel(3, 3, qRgb(9, 9, 9));
    const QImage buffer = surfaces.Picbuf.image();
    form.Form_Paint();
    EXPECT_EQ(surfaces.window.image().pixel(3, 3), qRgb(9, 9, 9));
    EXPECT_EQ(surfaces.Picbuf.image(), buffer);
}

TEST(StatusFont, TerminalOrAFixedPitchFaceOfNinePoints) {
    const QFont font = resolveFont(QStringLiteral("Terminal"), 9, false);
    EXPECT_EQ(font.pixelSize(), 12);
    EXPECT_FALSE(font.bold());
    if (font.family() != QStringLiteral("Terminal")) {
        EXPECT_TRUE(QFontInfo(font).fixedPitch()) << font.family().toStdString();
    }
}

}  // namespace
}  // namespace bopatron::draw
