// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// make_face: turns the 8 x 13 raster face of xfonts-base (misc-fixed, public
// domain) into the glyph table the game draws its text from, so that every
// platform shows the same letters and no platform needs the font.
// Usage: make_face FONT_FILE OUT_FILE   (FONT_FILE: /usr/share/fonts/X11/misc/8x13.pcf.gz)
// Each of the 256 Latin-1 characters is drawn alone, without smoothing, at
// both sizes the game asks for, exactly as text was drawn before the table
// existed; the tool refuses a face whose characters do not keep to their
// 8 x 13 cell, or that draws a line of printable characters differently
// from those characters one by one.
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

constexpr int kWidth = 8, kHeight = 13, kMargin = 16;
constexpr int kTabStop = 80;  // a tab moves to the next multiple of this from the line's start
constexpr int kTab = 255;     // the advance written for a tab

QFont faceAt(const QString& family, int pixels) {
    QFont font(family);
    font.setPixelSize(pixels);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// Draws text with its top-left corner at (kMargin, kMargin) on white.
QImage draw(const QFont& font, const QString& text) {
    QImage image(kMargin * 2 + kWidth * std::max<int>(text.size(), 64), kMargin * 2 + kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(kMargin, kMargin + QFontMetrics(font).ascent(), text);
    return image;
}

int fail(const char* why, int code) {
    std::fprintf(stderr, "make_face: %s (character %d)\n", why, code);
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_face FONT_FILE OUT_FILE\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList families = QFontDatabase::applicationFontFamilies(QFontDatabase::addApplicationFont(argv[1]));
    if (families.isEmpty()) return fail("the font file cannot be loaded", -1);
    const QFont font = faceAt(families.front(), 12);
    if (QFontMetrics(font).height() != kHeight) return fail("the face's lines are not 13 pixels high", -1);

    std::vector<std::vector<unsigned>> glyphs(256);
    std::vector<int> advances(256);
    QString line;
    const QImage blank = draw(font, QStringLiteral("A"));
    for (int code = 0; code < 256; ++code) {
        // Each character after an A, as it stands in a line: some control
        // characters alone are drawn differently from within a line.
        const QString text(QChar(static_cast<char16_t>(code)));
        // Control characters, which no one can type, are drawn by Qt one way
        // alone and another within a run of them: only the rest is compared as a line.
        if (code >= 0x20 && (code < 0x7f || code > 0x9f)) line += text;
        const QFontMetrics metrics(font);
        const int advance = metrics.horizontalAdvance(QLatin1Char('A') + text) - kWidth;
        if (code == '\t' ? advance != kTabStop - kWidth : advance != kWidth && advance != 0)
            return fail("an advance other than 8 or 0 (or a tab's stop)", code);
        advances[code] = code == '\t' ? kTab : advance;
        const QImage after = draw(font, QLatin1Char('A') + text);
        if (after != draw(faceAt(families.front(), 11), QLatin1Char('A') + text)) return fail("the two sizes differ", code);
        for (int y = 0; y < after.height(); ++y) {
            unsigned row = 0;
            for (int x = 0; x < after.width(); ++x) {
                const bool inA = x < blank.width() && blank.pixel(x, y) != qRgb(255, 255, 255);
                if (after.pixel(x, y) == qRgb(255, 255, 255) || inA) continue;
                if (after.pixel(x, y) != qRgb(0, 0, 0)) return fail("a smoothed pixel", code);
                const int left = kMargin + kWidth;
                if (x < left || x >= left + kWidth || y < kMargin || y >= kMargin + kHeight)
                    return fail("a pixel outside the cell", code);
                row |= 0x80u >> (x - left);
            }
            if (y >= kMargin && y < kMargin + kHeight) glyphs[code].push_back(row);
        }
    }
    // A whole line is its characters side by side, each after the advance of the one before.
    for (const QString& text : {line, QStringLiteral("A\tB"), QStringLiteral("ABCDEFGHIJ\tK\t\tL"), QStringLiteral("\t\tM")}) {
        QImage composed = draw(font, QString(text.size(), QLatin1Char(' ')));
        int left = 0;
        for (const QChar c : text) {
            const int code = c.unicode();
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x)
                    if (glyphs[code][y] & (0x80u >> x)) composed.setPixel(kMargin + left + x, kMargin + y, qRgb(0, 0, 0));
            left = advances[code] == kTab ? (left / kTabStop + 1) * kTabStop : left + advances[code];
        }
        if (draw(font, text) != composed) return fail("a line differs from its characters drawn one by one", -1);
    }

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << "// Made by tools/make_face from the 8 x 13 misc-fixed face of xfonts-base, which is in the\n"
           "// public domain. Do not edit: run the tool again. One entry per Latin-1 character: its\n"
           "// advance in pixels (255: a tab, to the next multiple of 80 from the line's start), then\n"
           "// its 13 rows from the top of the cell, the leftmost pixel in the highest bit.\n";
    for (int code = 0; code < 256; ++code) {
        out << "{" << advances[code] << ", {";
        for (int y = 0; y < kHeight; ++y) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%s0x%02x", y ? ", " : "", glyphs[code][y]);
            out << hex;
        }
        out << "}},  // " << code << "\n";
    }
    return out.good() ? 0 : fail("the table cannot be written", -1);
}
