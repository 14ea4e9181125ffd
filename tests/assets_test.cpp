// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The shipped pictures and sprite table: sizes, palette, layout, the hole
// openings, agreement between sheets and table, and that the generator
// remakes them byte for byte.
#include "draw/sprite_table.h"
#include "game/form1.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace bopatron {
namespace {

const QDir kAssets(QStringLiteral(BOPATRON_ASSETS_DIR));

QImage picture(const QString& name) { return QImage(kAssets.filePath(name)); }

// Black pixels of a mask within a rectangle.
int figureIn(const QImage& mask, QRect r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += mask.pixelIndex(x, y) == 0;
    return n;
}

TEST(Pictures, SizesTheFixedPaletteAndMasksBlackOnWhiteOverImagesBlackAroundTheFigures) {
    QVector<QRgb> palette;  // 3 bits of red, 3 of green, 2 of blue
    const int rg[8] = {0, 32, 64, 96, 128, 160, 192, 255}, b[4] = {0, 64, 128, 255};
    for (int i = 0; i < 256; ++i) palette.push_back(qRgb(rg[i / 32], rg[(i / 4) % 8], b[i % 4]));
    const std::pair<const char*, QSize> sizes[] = {
        {"Picbak", {436, 284}}, {"Picmsk", {275, 181}},  {"Picimg", {275, 181}},  {"Picmsk2", {275, 182}},
        {"Picimg2", {275, 182}}, {"Picmsk3", {275, 182}}, {"Picimg3", {275, 182}}};
    for (const auto& [name, size] : sizes) {
        const QImage image = picture(QString::fromLatin1(name) + ".png");
        EXPECT_EQ(std::tuple(image.size(), image.format(), image.colorTable()), std::tuple(size, QImage::Format_Indexed8, palette))
            << name;
    }
    for (const QString suffix : {"", "2", "3"}) {
        const QImage mask = picture("Picmsk" + suffix + ".png"), image = picture("Picimg" + suffix + ".png");
        for (int y = 0; y < mask.height(); ++y)
            for (int x = 0; x < mask.width(); ++x) {
                const int m = mask.pixelIndex(x, y);
                ASSERT_TRUE(m == 0 || (m == 255 && image.pixelIndex(x, y) == 0)) << suffix.toStdString() << " " << x << "," << y;
            }
        EXPECT_GT(figureIn(mask, mask.rect()), 5000);
    }
    // The hand's two poses fill their rectangles; nothing lies between the hand and the rats, or right of them.
    const QImage mask = picture("Picmsk.png");
    EXPECT_GT(std::min(figureIn(mask, QRect(0, 0, 97, 54)), figureIn(mask, QRect(0, 54, 90, 64))), 1000);
    EXPECT_EQ(figureIn(mask, QRect(97, 0, 3, 181)) + figureIn(mask, QRect(264, 0, 11, 181)), 0);
}

// The openings, [row][col], as left, top, width, height.
const QRect kOpenings[3][3] = {
    {QRect(183, 87, 58, 19), QRect(248, 96, 53, 20), QRect(307, 103, 53, 21)},
    {QRect(127, 118, 53, 19), QRect(192, 127, 52, 21), QRect(262, 137, 58, 19)},
    {QRect(79, 158, 52, 16), QRect(151, 164, 53, 20), QRect(222, 173, 56, 19)},
};

TEST(Field, DarkOpeningsLieExactlyInTheirRectanglesBelowTheirAnchorsAndGreenIsEverywhereElse) {
    const QImage field = picture("Picbak.png");
    const auto dark = [&field](int x, int y) {
        const QRgb c = field.pixel(x, y);
        return qRed(c) <= 32 && qGreen(c) <= 32 && qBlue(c) <= 32;
    };
    const auto inAnOpening = [](int x, int y) {
        for (const auto& row : kOpenings)
            for (const QRect& r : row)
                if (r.contains(x, y)) return true;
        return false;
    };
    int green = 0;
    for (int y = 0; y < 284; ++y)
        for (int x = 0; x < 436; ++x) green += field.pixelIndex(x, y) == 16;
    EXPECT_GT(green, 436 * 284 * 3 / 4);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            const QRect r = kOpenings[row][col];
            const QPoint c = r.center();
            EXPECT_TRUE(dark(c.x(), c.y()) && dark(r.left() + 2, c.y()) && dark(r.right() - 2, c.y()) &&
                        dark(c.x(), r.top() + 1) && dark(c.x(), r.bottom() - 1)) << row << "," << col;
            const QRect around = r.adjusted(-12, -12, 12, 12);
            for (int y = around.top(); y <= around.bottom(); ++y)
                for (int x = around.left(); x <= around.right(); ++x)
                    ASSERT_TRUE(inAnOpening(x, y) || !dark(x, y)) << "dark outside at " << x << "," << y;
            // Within 5 pixels of the anchor's x and 37 to 42 below it.
            EXPECT_LE(std::abs(r.left() - game::kHoleX[row][col]), 5);
            EXPECT_TRUE(r.top() - game::kHoleY[row][col] >= 37 && r.top() - game::kHoleY[row][col] <= 42);
        }
    // The portrait fills its corner.
    EXPECT_TRUE(field.pixelIndex(402, 44) != 16 && field.pixelIndex(370, 2) != 16 && field.pixelIndex(434, 87) != 16);
}

TEST(SpriteFile, FramesMatchTheSheetsAndMeetTheirHoles) {
    draw::SpriteTable t;
    ASSERT_EQ(draw::loadSpriteTable(kAssets.filePath(QStringLiteral("whack_img.spr")).toStdString(), t), 180u);
    const QImage mask = picture("Picmsk.png");
    for (int f = 1; f <= 14; ++f) {
        const QRect src(t.sprSrcX[f], t.sprSrcY[f], t.sprW[f], t.sprH[f]);
        EXPECT_TRUE(!src.isEmpty() && src.left() >= 100 && src.right() <= 263 && src.bottom() <= 180) << f;
        EXPECT_GT(figureIn(mask, src), 20) << "frame " << f << " shows a figure";
        EXPECT_TRUE(f == 1 || f > 12 || t.sprH[f] > t.sprH[f - 1]) << "rising: frame " << f << " shows more of the rat";
        for (int a = 1; a < f; ++a)
            EXPECT_FALSE(src.intersects(QRect(t.sprSrcX[a], t.sprSrcY[a], t.sprW[a], t.sprH[a]))) << a << " and " << f;
        for (int hole = 0; hole < 9; ++hole) {
            const QRect o = kOpenings[hole / 3][hole % 3];
            const int bottom = game::kHoleY[hole / 3][hole % 3] + t.sprOffY[f] + t.sprH[f] - 1;
            const int centre = game::kHoleX[hole / 3][hole % 3] + t.sprOffX[f] + t.sprW[f] / 2;
            EXPECT_TRUE(bottom >= o.top() && bottom <= o.bottom() && o.left() < centre && centre < o.right()) << f;
        }
    }
    EXPECT_EQ(t.sprW[15], 0) << "frame 15 is never shown";
}

QStringList filesUnder(const QDir& dir) {
    QStringList names;
    for (const QString& name : dir.entryList(QDir::Files)) names << name;
    for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString& name : filesUnder(QDir(dir.filePath(sub)))) names << sub + QLatin1Char('/') + name;
    names.sort();
    return names;
}

QByteArray bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(Generator, RemakesTheCommittedPicturesByteForByte) {
    QTemporaryDir out;
    QProcess tool;
    tool.start(QStringLiteral(BOPATRON_MAKE_PICTURES), {out.path()});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    const QStringList made = filesUnder(QDir(out.path()));
    EXPECT_GE(made.size(), 16);
    for (const QString& name : made) {
        EXPECT_EQ(bytes(QDir(out.path()).filePath(name)), bytes(kAssets.filePath(name))) << name.toStdString();
    }
}

TEST(Generator, RemakesTheRasterFaceByteForByte) {
    if (!QFile::exists(QStringLiteral(BOPATRON_FONT_FILE))) GTEST_SKIP() << "no " BOPATRON_FONT_FILE " here";
    QTemporaryDir out;
    QProcess tool;
    tool.start(QStringLiteral(BOPATRON_MAKE_FACE), {QStringLiteral(BOPATRON_FONT_FILE), out.filePath("face.inc")});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    EXPECT_EQ(bytes(out.filePath("face.inc")), bytes(QStringLiteral(BOPATRON_FACE_TABLE)));
}

TEST(ProgramFolder, HoldsEveryAssetBesideTheProgram) {
    const QDir program(QStringLiteral(BOPATRON_PROGRAM_DIR));
    for (const QString& name : filesUnder(kAssets)) {
        EXPECT_TRUE(QFile::exists(program.filePath(name))) << name.toStdString();
    }
    EXPECT_TRUE(QFile::exists(program.filePath(QStringLiteral("bopatron"))));
}

}  // namespace
}  // namespace bopatron
