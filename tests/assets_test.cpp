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

QImage picture(const char* name) { return QImage(kAssets.filePath(QString::fromLatin1(name))); }

QVector<QRgb> palette() {
    const int rg[8] = {0, 32, 64, 96, 128, 160, 192, 255};
    const int b[4] = {0, 64, 128, 255};
    QVector<QRgb> colours;
    for (int i = 0; i < 256; ++i) colours.push_back(qRgb(rg[i / 32], rg[(i / 4) % 8], b[i % 4]));
    return colours;
}

struct Pictured {
    const char* name;
    int width, height;
};
const Pictured kPictures[] = {{"Picbak.png", 436, 284}, {"Picmsk.png", 275, 181}, {"Picimg.png", 275, 181},
                              {"Picmsk2.png", 275, 182}, {"Picimg2.png", 275, 182}, {"Picmsk3.png", 275, 182},
                              {"Picimg3.png", 275, 182}};

TEST(Pictures, EachHasItsSizeAndTheFixedPalette) {
    const QVector<QRgb> colours = palette();
    EXPECT_EQ(colours[16], qRgb(0, 128, 0));
    EXPECT_EQ(colours[255], qRgb(255, 255, 255));
    for (const Pictured& p : kPictures) {
        const QImage image = picture(p.name);
        ASSERT_FALSE(image.isNull()) << p.name;
        EXPECT_EQ(image.size(), QSize(p.width, p.height)) << p.name;
        EXPECT_EQ(image.format(), QImage::Format_Indexed8) << p.name;
        EXPECT_EQ(image.colorTable(), colours) << p.name;
    }
}

TEST(Pictures, MasksAreBlackOnWhiteAndImagesColourOnBlackWithTheSameFigures) {
    for (const char* suffix : {"", "2", "3"}) {
        const QImage mask = picture(qPrintable(QStringLiteral("Picmsk%1.png").arg(QString::fromLatin1(suffix))));
        const QImage image = picture(qPrintable(QStringLiteral("Picimg%1.png").arg(QString::fromLatin1(suffix))));
        int figure = 0;
        for (int y = 0; y < mask.height(); ++y) {
            for (int x = 0; x < mask.width(); ++x) {
                const int m = mask.pixelIndex(x, y);
                ASSERT_TRUE(m == 0 || m == 255) << suffix << " " << x << "," << y;
                if (m == 255) {
                    ASSERT_EQ(image.pixelIndex(x, y), 0) << "colour outside the figure at " << x << "," << y;
                }
                figure += m == 0;
            }
        }
        EXPECT_GT(figure, 5000);
    }
}

TEST(Pictures, HandPosesLieInTheirRectangles) {
    const QImage mask = picture("Picmsk.png");
    auto blackIn = [&mask](QRect r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) n += mask.pixelIndex(x, y) == 0;
        return n;
    };
    EXPECT_GT(blackIn(QRect(0, 0, 97, 54)), 1000);
    EXPECT_GT(blackIn(QRect(0, 54, 90, 64)), 1000);
    EXPECT_GT(blackIn(QRect(0, 118, 97, 63)), 500);
    EXPECT_EQ(blackIn(QRect(97, 0, 3, 181)), 0) << "nothing between the hand and the rats";
    EXPECT_EQ(blackIn(QRect(264, 0, 11, 181)), 0) << "nothing right of the rats";
}

// The openings, [row][col], as left, top, width, height.
const QRect kOpenings[3][3] = {
    {QRect(183, 87, 58, 19), QRect(248, 96, 53, 20), QRect(307, 103, 53, 21)},
    {QRect(127, 118, 53, 19), QRect(192, 127, 52, 21), QRect(262, 137, 58, 19)},
    {QRect(79, 158, 52, 16), QRect(151, 164, 53, 20), QRect(222, 173, 56, 19)},
};

bool inAnOpening(int x, int y) {
    for (const auto& row : kOpenings)
        for (const QRect& r : row)
            if (r.contains(x, y)) return true;
    return false;
}

bool dark(QRgb c) { return qRed(c) <= 32 && qGreen(c) <= 32 && qBlue(c) <= 32; }

TEST(Field, DarkOpeningsLieExactlyInTheirRectanglesAndGreenIsEverywhereElse) {
    const QImage field = picture("Picbak.png");
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRect r = kOpenings[row][col];
            EXPECT_TRUE(dark(field.pixel(r.center()))) << row << "," << col;
            EXPECT_TRUE(dark(field.pixel(r.left() + 2, r.center().y())));
            EXPECT_TRUE(dark(field.pixel(r.right() - 2, r.center().y())));
            EXPECT_TRUE(dark(field.pixel(r.center().x(), r.top() + 1)));
            EXPECT_TRUE(dark(field.pixel(r.center().x(), r.bottom() - 1)));
            const QRect around = r.adjusted(-12, -12, 12, 12);
            for (int y = around.top(); y <= around.bottom(); ++y)
                for (int x = around.left(); x <= around.right(); ++x)
                    if (!inAnOpening(x, y)) {
                        ASSERT_FALSE(dark(field.pixel(x, y))) << "dark outside at " << x << "," << y;
                    }
            // Within 5 pixels of the anchor's x and 37 to 42 below it.
            EXPECT_LE(std::abs(r.left() - game::kHoleX[row][col]), 5);
            EXPECT_GE(r.top() - game::kHoleY[row][col], 37);
            EXPECT_LE(r.top() - game::kHoleY[row][col], 42);
        }
    }
    int green = 0;
    for (int y = 0; y < 284; ++y)
        for (int x = 0; x < 436; ++x) green += field.pixelIndex(x, y) == 16;
    EXPECT_GT(green, 436 * 284 * 3 / 4);
    // The portrait fills its corner.
    EXPECT_NE(field.pixelIndex(402, 44), 16);
    EXPECT_NE(field.pixelIndex(370, 2), 16);
    EXPECT_NE(field.pixelIndex(434, 87), 16);
}

TEST(SpriteFile, FramesMatchTheSheetsAndMeetTheirHoles) {
    draw::SpriteTable t;
    ASSERT_EQ(draw::loadSpriteTable(kAssets.filePath(QStringLiteral("whack_img.spr")).toStdString(), t), 180u);
    const QImage mask = picture("Picmsk.png");
    for (int f = 1; f <= 14; ++f) {
        const QRect src(t.sprSrcX[f], t.sprSrcY[f], t.sprW[f], t.sprH[f]);
        ASSERT_GT(src.width(), 0) << f;
        ASSERT_GT(src.height(), 0) << f;
        EXPECT_GE(src.left(), 100) << f;
        EXPECT_LE(src.right(), 263) << f;
        EXPECT_LE(src.bottom(), 180) << f;
        int figure = 0;
        for (int y = src.top(); y <= src.bottom(); ++y)
            for (int x = src.left(); x <= src.right(); ++x) figure += mask.pixelIndex(x, y) == 0;
        EXPECT_GT(figure, 20) << "frame " << f << " shows a figure";
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                const QRect o = kOpenings[row][col];
                const int bottom = game::kHoleY[row][col] + t.sprOffY[f] + t.sprH[f] - 1;
                EXPECT_GE(bottom, o.top()) << "frame " << f;
                EXPECT_LE(bottom, o.bottom()) << "frame " << f;
                const int centre = game::kHoleX[row][col] + t.sprOffX[f] + t.sprW[f] / 2;
                EXPECT_TRUE(o.left() < centre && centre < o.right()) << "frame " << f;
            }
        }
    }
    // Rising: each frame from 1 to 12 shows more of the rat than the one before.
    for (int f = 2; f <= 12; ++f) EXPECT_GT(t.sprH[f], t.sprH[f - 1]) << f;
    EXPECT_EQ(t.sprW[15], 0) << "frame 15 is never shown";
    // No two frames overlap in the sheets.
    for (int a = 1; a <= 14; ++a)
        for (int b = a + 1; b <= 14; ++b)
            EXPECT_FALSE(QRect(t.sprSrcX[a], t.sprSrcY[a], t.sprW[a], t.sprH[a])
                             .intersects(QRect(t.sprSrcX[b], t.sprSrcY[b], t.sprW[b], t.sprH[b])))
                << a << " and " << b;
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

TEST(ProgramFolder, HoldsEveryAssetBesideTheProgram) {
    const QDir program(QStringLiteral(BOPATRON_PROGRAM_DIR));
    for (const QString& name : filesUnder(kAssets)) {
        EXPECT_TRUE(QFile::exists(program.filePath(name))) << name.toStdString();
    }
    EXPECT_TRUE(QFile::exists(program.filePath(QStringLiteral("bopatron"))));
}

}  // namespace
}  // namespace bopatron
