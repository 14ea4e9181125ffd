// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "draw/surface.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bopatron::draw {

namespace {

constexpr Dc kFirstDc = 0x0100;  // handles look like handles, never 0

// The raster face: for each Latin-1 character its advance and its 13 rows.
struct Glyph {
    std::uint8_t advance;
    std::uint8_t rows[13];
};
constexpr Glyph kFace[256] = {
#include "draw/raster_face.inc"
};
constexpr int kFaceHeight = 13;
constexpr std::uint8_t kTab = 255;  // a tab's advance: to the next tab stop
constexpr int kTabStop = 80;        // tab stops lie this far apart from the line's start

}  // namespace

Surface::Surface(int width, int height, std::uint32_t fill)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height, fill) {}

Surface::Surface(int width, int height, std::vector<std::uint32_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {
    pixels_.resize(static_cast<std::size_t>(width) * height, 0xff000000);
}

void Surface::fill(std::uint32_t value) { std::fill(pixels_.begin(), pixels_.end(), value); }

int lineHeight(double points) {
    // Sizes are pixels at 96 dots per inch, so the text never depends on the screen.
    const auto pixels = static_cast<int>(std::lround(points * 96.0 / 72.0));
    return std::max(kFaceHeight, pixels + 2);
}

void Surface::print(std::string_view line) {
    if (onPrint) onPrint(line);
    int left = 0, right = 0;
    for (const char c : line) {
        right = std::max(right, left + 8);
        const Glyph& glyph = kFace[static_cast<unsigned char>(c)];
        for (int y = 0; y < kFaceHeight; ++y) {
            const int py = text.currentY + y;
            if (py < 0 || py >= height_ || glyph.rows[y] == 0) continue;
            for (int x = 0; x < 8; ++x) {
                const int px = text.currentX + left + x;
                if ((glyph.rows[y] & (0x80u >> x)) != 0 && px >= 0 && px < width_) setPixel(px, py, text.foreColor);
            }
        }
        left = glyph.advance == kTab ? (left / kTabStop + 1) * kTabStop : left + glyph.advance;
    }
    if (right > 0) damage(text.currentX, text.currentY, right, kFaceHeight);
    text.currentX = 0;
    text.currentY += lineHeight(text.fontSize);
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

using Pixel = std::uint32_t;

// One row of a transfer. The rows never overlap (a surface copied onto itself
// is read from a copy), which lets the compiler vectorise the loops.
void transferRow(Pixel* __restrict out, const Pixel* __restrict in, std::size_t count, Rop rop) {
    switch (rop) {
        case Rop::SrcCopy:
            std::memcpy(out, in, count * sizeof(Pixel));
            break;
        case Rop::SrcAnd:
            for (std::size_t i = 0; i < count; ++i) out[i] &= in[i];
            break;
        case Rop::SrcInvert:
            // The top byte of a pixel must stay 0xff.
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
    Surface& d = *to;
    // A surface drawn onto itself reads from a copy, as if the source were read first.
    Surface copy;
    if (to == from) copy = d;
    const Surface& s = to == from ? copy : *from;

    // Clip in 64 bits so that no sum of 32-bit arguments can overflow.
    std::int64_t x0 = 0, y0 = 0, x1 = w, y1 = h;  // offsets within the rectangle
    x0 = std::max({x0, -std::int64_t{x}, -std::int64_t{sx}});
    y0 = std::max({y0, -std::int64_t{y}, -std::int64_t{sy}});
    x1 = std::min({x1, std::int64_t{d.width()} - x, std::int64_t{s.width()} - sx});
    y1 = std::min({y1, std::int64_t{d.height()} - y, std::int64_t{s.height()} - sy});
    if (x0 >= x1 || y0 >= y1) return;
    d.damage(static_cast<int>(x + x0), static_cast<int>(y + y0), static_cast<int>(x1 - x0), static_cast<int>(y1 - y0));
    if (to == &surfaces.Picbak) surfaces.Picbuf.damageWhole();  // the background itself changed

    const auto dStride = static_cast<std::size_t>(d.width());
    const auto sStride = static_cast<std::size_t>(s.width());
    Pixel* out = d.row(static_cast<int>(y + y0)) + static_cast<std::size_t>(x + x0);
    const Pixel* in = s.row(static_cast<int>(sy + y0)) + static_cast<std::size_t>(sx + x0);
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
