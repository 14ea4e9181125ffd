// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "draw/surface.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bopatron::draw {

namespace {
constexpr Dc kFirstDc = 0x0100;  // handles look like handles, never 0
}

Surface::Surface(int width, int height, QColor fill) : image_(width, height, QImage::Format_RGB32) {
    image_.fill(fill);
}

Surface::Surface(QImage picture) : image_(picture.convertToFormat(QImage::Format_RGB32)) {}

namespace {

// Where the system keeps a raster face with a terminal's 8 x 13 cell, used
// when it has no "Terminal" face of its own (xfonts-base on Debian).
constexpr const char* kRasterFaceFiles[] = {"/usr/share/fonts/X11/misc/8x13.pcf.gz"};

// The family of the raster face, loaded once; empty when there is none.
const QString& rasterFace() {
    static const QString family = [] {
        for (const char* file : kRasterFaceFiles) {
            const QStringList families =
                QFontDatabase::applicationFontFamilies(QFontDatabase::addApplicationFont(QString::fromLatin1(file)));
            if (!families.isEmpty()) return families.front();
        }
        return QString();
    }();
    return family;
}

// Sizes are pixels at 96 dots per inch, so the text never depends on the screen.
int pixelsOf(double points) { return static_cast<int>(std::lround(points * 96.0 / 72.0)); }

}  // namespace

QFont resolveFont(const QString& name, double points, bool bold) {
    const int pixels = pixelsOf(points);
    QFont font(name);
    if (!QFontDatabase::hasFamily(name)) {
        if (!rasterFace().isEmpty()) {
            font = QFont(rasterFace());
        } else {
            font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            font.setStyleHint(QFont::TypeWriter);
        }
    }
    font.setPixelSize(pixels);
    font.setBold(bold);
    // Letters of whole pixels, as a raster face draws them: sharp at any magnification.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

const Surface::FontCache& Surface::font() {
    if (font_.size != text.fontSize || font_.bold != text.fontBold || font_.name != text.fontName) {
        font_.name = text.fontName;
        font_.size = text.fontSize;
        font_.bold = text.fontBold;
        font_.font = resolveFont(text.fontName, text.fontSize, text.fontBold);
        const QFontMetrics metrics(font_.font);
        font_.ascent = metrics.ascent();
        // A line is the size in pixels and two of leading, or the face's own
        // height where that is more: lines keep their places whichever face the
        // system supplies.
        font_.height = std::max(metrics.height(), pixelsOf(text.fontSize) + 2);
    }
    return font_;
}

void Surface::print(std::string_view line) {
    const FontCache& f = font();
    if (onPrint) onPrint(line);
    if (!line.empty()) {
        QPainter painter(&image_);
        painter.setFont(f.font);
        painter.setPen(text.foreColor);
        painter.setBackgroundMode(Qt::TransparentMode);
        painter.drawText(text.currentX, text.currentY + f.ascent,
                         QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    }
    text.currentX = 0;
    text.currentY += f.height;
}

std::array<const Surface*, 9> Surfaces::all() const {
    return {&Picmsk3, &Picimg3, &Picmsk2, &Picimg2, &Picbuf, &Picmsk, &Picimg, &Picbak, &window};
}

Dc Surfaces::hDC(const Surface& surface) const {
    const auto list = all();
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == &surface) return kFirstDc + static_cast<Dc>(i);
    }
    return 0;
}

Surface* Surfaces::fromDc(Dc dc) {
    const auto list = all();
    const auto index = static_cast<std::size_t>(dc - kFirstDc);
    if (dc < kFirstDc || index >= list.size()) return nullptr;
    return const_cast<Surface*>(list[index]);
}

namespace {

// One row of a transfer. The rows never overlap (a surface copied onto itself
// is read from a copy), which lets the compiler vectorise the loops.
void transferRow(QRgb* __restrict out, const QRgb* __restrict in, std::size_t count, Rop rop) {
    switch (rop) {
        case Rop::SrcCopy:
            std::memcpy(out, in, count * sizeof(QRgb));
            break;
        case Rop::SrcAnd:
            for (std::size_t i = 0; i < count; ++i) out[i] &= in[i];
            break;
        case Rop::SrcInvert:
            // The top byte of an RGB32 pixel must stay 0xff.
            for (std::size_t i = 0; i < count; ++i) out[i] = (out[i] ^ in[i]) | 0xff000000u;
            break;
    }
}

}  // namespace

void bitBlt(Surfaces& surfaces, Dc dst, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
            Dc src, std::int32_t sx, std::int32_t sy, Rop rop) {
    ++surfaces.transfers;
    Surface* to = surfaces.fromDc(dst);
    Surface* from = surfaces.fromDc(src);
    if (to == nullptr || from == nullptr || w <= 0 || h <= 0) return;
    QImage& d = to->image();
    // A surface drawn onto itself reads from a copy, as if the source were read first.
    const QImage s = to == from ? d.copy() : from->image();

    // Clip in 64 bits so that no sum of 32-bit arguments can overflow.
    std::int64_t x0 = 0, y0 = 0, x1 = w, y1 = h;  // offsets within the rectangle
    x0 = std::max({x0, -std::int64_t{x}, -std::int64_t{sx}});
    y0 = std::max({y0, -std::int64_t{y}, -std::int64_t{sy}});
    x1 = std::min({x1, std::int64_t{d.width()} - x, std::int64_t{s.width()} - sx});
    y1 = std::min({y1, std::int64_t{d.height()} - y, std::int64_t{s.height()} - sy});
    if (x0 >= x1 || y0 >= y1) return;

    // Row addresses from the first pixel and the strides: asking the image for
    // each scan line would check its sharing on every row.
    const auto dStride = static_cast<std::size_t>(d.bytesPerLine()) / sizeof(QRgb);
    const auto sStride = static_cast<std::size_t>(s.bytesPerLine()) / sizeof(QRgb);
    QRgb* out = reinterpret_cast<QRgb*>(d.bits()) + static_cast<std::size_t>(y + y0) * dStride +
                static_cast<std::size_t>(x + x0);
    const QRgb* in = reinterpret_cast<const QRgb*>(s.constBits()) +
                     static_cast<std::size_t>(sy + y0) * sStride + static_cast<std::size_t>(sx + x0);
    auto count = static_cast<std::size_t>(x1 - x0);
    auto rows = static_cast<std::size_t>(y1 - y0);
    // Whole rows of two images of one width are one block.
    if (count == dStride && count == sStride) {
        count *= rows;
        rows = 1;
    }
    for (std::size_t row = 0; row < rows; ++row, out += dStride, in += sStride)
        transferRow(out, in, count, rop);
}

}  // namespace bopatron::draw
