#include "draw/surface.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace bopatron::draw {

namespace {
constexpr Dc kFirstDc = 0x0100;  // handles look like handles, never 0
}

Surface::Surface(int width, int height, QColor fill)
    : image_(width, height, QImage::Format_RGB32) {
    image_.fill(fill);
}

Surface::Surface(QImage picture) : image_(picture.convertToFormat(QImage::Format_RGB32)) {}

QFont resolveFont(const QString& name, double points, bool bold) {
    // Sizes are pixels at 96 dots per inch, so the text never depends on the screen.
    const int pixels = static_cast<int>(std::lround(points * 96.0 / 72.0));
    QFont font(name);
    font.setPixelSize(pixels);
    font.setBold(bold);
    if (!QFontDatabase::hasFamily(name)) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setStyleHint(QFont::TypeWriter);
        font.setPixelSize(pixels);
        font.setBold(bold);
    }
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
        font_.height = metrics.height();
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

void bitBlt(Surfaces& surfaces, Dc dst, std::int32_t x, std::int32_t y, std::int32_t w,
            std::int32_t h, Dc src, std::int32_t sx, std::int32_t sy, Rop rop) {
    ++surfaces.transfers;
    Surface* to = surfaces.fromDc(dst);
    Surface* from = surfaces.fromDc(src);
    if (to == nullptr || from == nullptr || w <= 0 || h <= 0) return;
    QImage& d = to->image();
    const QImage& s = from->image();

    // Clip in 64 bits so that no sum of 32-bit arguments can overflow.
    std::int64_t x0 = 0, y0 = 0, x1 = w, y1 = h;  // offsets within the rectangle
    x0 = std::max({x0, -std::int64_t{x}, -std::int64_t{sx}});
    y0 = std::max({y0, -std::int64_t{y}, -std::int64_t{sy}});
    x1 = std::min({x1, std::int64_t{d.width()} - x, std::int64_t{s.width()} - sx});
    y1 = std::min({y1, std::int64_t{d.height()} - y, std::int64_t{s.height()} - sy});
    if (x0 >= x1 || y0 >= y1) return;

    const auto count = static_cast<std::size_t>(x1 - x0);
    for (std::int64_t row = y0; row < y1; ++row) {
        auto* out = reinterpret_cast<QRgb*>(d.scanLine(static_cast<int>(y + row))) + (x + x0);
        const auto* in =
            reinterpret_cast<const QRgb*>(s.constScanLine(static_cast<int>(sy + row))) + (sx + x0);
        switch (rop) {
            case Rop::SrcCopy:
                std::copy_n(in, count, out);
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
}

}  // namespace bopatron::draw
