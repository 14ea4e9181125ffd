// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// Paints every picture of the game and writes it into the folder given:
// the field, the mask and image sheets of the three characters, the sprite
// table that says where each rat frame lies in them, the program icon and
// the initial high-score table. The same run always writes the same bytes.

#include "art.h"
#include "palette.h"
#include "scores/score_file.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

namespace bopatron::tools {
namespace {

constexpr int kSheetWidth = 275;
constexpr int kOpenHandTop = 118;
// Every frame's bottom row lies this far below its hole's anchor, inside the
// dark opening; the opening's centre lies kOpeningCentreX to the right.
constexpr int kFrameBottom = 57;
constexpr double kOpeningCentreX = 28;
constexpr double kOpeningHalfWidth = 27;
constexpr double kOpeningHalfHeight = 9;
constexpr int kCrownHeight = 4;  // frame 1: the crown just showing
constexpr std::array<int, 3> kColumns = {100, 155, 210};
constexpr int kGap = 4;

struct Frame {
    int offX = 0, offY = 0, srcX = 0, srcY = 0, w = 0, h = 0;
};

// How much of the figure shows in frame f (1 to 12): from the crown up to the full figure.
int risingHeight(int f) {
    return static_cast<int>(std::lround(kCrownHeight + (kFigureHeight - kCrownHeight) * (f - 1) / 11.0));
}

// Cuts the bottom of a frame along the near edge of the hole's opening, so
// the rat seems to stand inside the hole rather than in front of it.
QImage sunk(QImage frame) {
    const double centre = frame.width() / 2.0;
    for (int x = 0; x < frame.width(); ++x) {
        const double u = std::min(1.0, std::abs(x + 0.5 - centre) / kOpeningHalfWidth);
        const double lift = kOpeningHalfHeight * (1.0 - std::sqrt(1.0 - u * u));
        const int lastRow = static_cast<int>(std::floor(frame.height() - 0.5 - lift));
        for (int y = std::max(0, lastRow + 1); y < frame.height(); ++y) frame.setPixel(x, y, 0);
    }
    return frame;
}

// The pictures of one character's sheet before they are split into mask and image.
struct Sheet {
    QImage art;
    std::array<Frame, 16> frames{};
};

void place(QImage& sheet, const QImage& figure, int x, int y) {
    for (int row = 0; row < figure.height(); ++row) {
        for (int col = 0; col < figure.width(); ++col) sheet.setPixel(x + col, y + row, figure.pixel(col, row));
    }
}

Sheet paintSheet(int kind, int height) {
    Sheet sheet;
    sheet.art = QImage(kSheetWidth, height, QImage::Format_ARGB32_Premultiplied);
    sheet.art.fill(Qt::transparent);
    place(sheet.art, handUp(), 0, 0);
    place(sheet.art, handDown(), 0, 54);
    place(sheet.art, handOpen(97, height - kOpenHandTop), 0, kOpenHandTop);

    const QImage figure = ratFigure(kind);
    std::array<QImage, 15> pictures;
    for (int f = 1; f <= 12; ++f) pictures[f] = sunk(figure.copy(0, 0, kFigureWidth, risingHeight(f)));
    pictures[13] = sunk(whackedFigure(kind, 0, 34));
    pictures[14] = sunk(whackedFigure(kind, 1, 24));

    // Three columns of 4, 6 and 4 frames.
    const std::array<std::vector<int>, 3> columns = {
        std::vector<int>{12, 11, 10, 9}, std::vector<int>{8, 7, 6, 5, 4, 3}, std::vector<int>{2, 1, 13, 14}};
    for (std::size_t c = 0; c < columns.size(); ++c) {
        int y = 2;
        for (int f : columns[c]) {
            const QImage& picture = pictures[static_cast<std::size_t>(f)];
            Frame& frame = sheet.frames[static_cast<std::size_t>(f)];
            frame.w = picture.width();
            frame.h = picture.height();
            frame.srcX = kColumns[c];
            frame.srcY = y;
            frame.offX = static_cast<int>(std::lround(kOpeningCentreX - frame.w / 2.0));
            frame.offY = kFrameBottom - frame.h;
            place(sheet.art, picture, frame.srcX, frame.srcY);
            y += frame.h + kGap;
        }
        if (y - kGap > height) {
            std::fprintf(stderr, "make_pictures: column %zu does not fit the sheet\n", c);
            std::exit(1);
        }
    }
    return sheet;
}

// Figure pixels are those at least half covered.
bool opaque(QRgb pixel) { return qAlpha(pixel) >= 128; }

QImage maskOf(const QImage& art) {
    QImage mask(art.size(), QImage::Format_RGB32);
    for (int y = 0; y < art.height(); ++y)
        for (int x = 0; x < art.width(); ++x)
            mask.setPixel(x, y, opaque(art.pixel(x, y)) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return toPalette(mask);
}

QImage imageOf(const QImage& art) {
    const QImage plain = art.convertToFormat(QImage::Format_ARGB32);  // colours not premultiplied
    QImage image(art.size(), QImage::Format_RGB32);
    for (int y = 0; y < art.height(); ++y) {
        for (int x = 0; x < art.width(); ++x) {
            const QRgb pixel = plain.pixel(x, y);
            image.setPixel(x, y, opaque(pixel) ? qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel)) : qRgb(0, 0, 0));
        }
    }
    return toPalette(image);
}

bool save(const QImage& image, const QString& path) {
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "make_pictures: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "make_pictures: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QByteArray spriteTable(const std::array<Frame, 16>& frames) {
    QByteArray bytes;
    auto put = [&bytes](int value) {
        const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
        bytes.append(static_cast<char>(v & 0xff));
        bytes.append(static_cast<char>(v >> 8));
    };
    // Frame 15 is never shown; it is left empty.
    for (int f = 1; f <= 15; ++f) {
        const Frame& frame = frames[static_cast<std::size_t>(f)];
        for (int v : {frame.offX, frame.offY, frame.srcX, frame.srcY, frame.w, frame.h}) put(v);
    }
    return bytes;
}

}  // namespace
}  // namespace bopatron::tools

int main(int argc, char** argv) {
    using namespace bopatron::tools;
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures OUTPUT-FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("icons"))) {
        std::fprintf(stderr, "make_pictures: cannot create %s\n", argv[1]);
        return 1;
    }
    bool ok = save(toPalette(field()), out.filePath(QStringLiteral("Picbak.png")));
    const std::array<const char*, 3> suffix = {"", "2", "3"};
    std::array<Frame, 16> frames{};
    for (int kind = 0; kind < 3; ++kind) {
        const Sheet sheet = paintSheet(kind, kind == 0 ? 181 : 182);
        frames = sheet.frames;  // the same layout for every character
        const QString s = QString::fromLatin1(suffix[static_cast<std::size_t>(kind)]);
        ok = save(maskOf(sheet.art), out.filePath(QStringLiteral("Picmsk%1.png").arg(s))) && ok;
        ok = save(imageOf(sheet.art), out.filePath(QStringLiteral("Picimg%1.png").arg(s))) && ok;
    }
    ok = writeBytes(out.filePath(QStringLiteral("whack_img.spr")), spriteTable(frames)) && ok;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        ok = save(icon(size), out.filePath(QStringLiteral("icons/bopatron-%1.png").arg(size))) && ok;
    }
    ok = save(icon(128), out.filePath(QStringLiteral("bopatron.png"))) && ok;
    const std::string scores = bopatron::scores::initialScoresText();
    ok = writeBytes(out.filePath(QStringLiteral("Scores.txt")),
                    QByteArray(scores.data(), static_cast<qsizetype>(scores.size()))) &&
         ok;
    return ok ? 0 : 1;
}
