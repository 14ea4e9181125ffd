// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Picture surfaces: persistent 32-bit bitmaps addressed through device-context
// handles, the block transfer that moves pixels between them, and the back
// buffer's text output.

#include <QColor>
#include <QImage>
#include <QFont>
#include <QString>

#include <array>
#include <functional>
#include <cstdint>
#include <string_view>

namespace bopatron::draw {

// Raster operations of a block transfer.
enum class Rop : std::uint32_t {
    SrcCopy = 0x00CC0020,
    SrcAnd = 0x008800C6,
    SrcInvert = 0x00660046,
};

// Text state of a surface that lines are printed on.
struct TextState {
    QString fontName = QStringLiteral("MS Sans Serif");
    double fontSize = 8.0;
    bool fontBold = false;
    int currentX = 0;
    int currentY = 0;
    QColor foreColor = Qt::black;
};

class Surface {
public:
    Surface() = default;
    Surface(int width, int height, QColor fill);
    explicit Surface(QImage picture);

    QImage& image() { return image_; }
    const QImage& image() const { return image_; }
    int width() const { return image_.width(); }
    int height() const { return image_.height(); }
    // The pixels of one row, each 0xffRRGGBB.
    const std::uint32_t* row(int y) const { return reinterpret_cast<const std::uint32_t*>(image_.constScanLine(y)); }
    float scaleWidth() const { return static_cast<float>(image_.width()); }
    float scaleHeight() const { return static_cast<float>(image_.height()); }

    TextState text;
    // Prints one line at the text position, drawing only the letters; then the
    // position moves to the left edge and one line of the current font down.
    void print(std::string_view line);
    // Sees every printed line: lets tests read the text without reading pixels.
    std::function<void(std::string_view)> onPrint;

private:
    // The font of the last print, kept while the text state asks for the same one:
    // looking a face up is far slower than drawing a line.
    struct FontCache {
        QString name;
        double size = -1;
        bool bold = false;
        QFont font;
        int ascent = 0;
        int height = 0;
    };
    const FontCache& font();

    QImage image_;
    FontCache font_;
};

// A device context: a small handle that finds its surface again. 0 is no surface.
using Dc = std::int32_t;

// Every surface of the main window, the window's own client area included.
struct Surfaces {
    Surface Picmsk3, Picimg3, Picmsk2, Picimg2, Picbuf, Picmsk, Picimg, Picbak;
    Surface window;  // what the window shows: the target of Present

    Dc hDC(const Surface& surface) const;
    Surface* fromDc(Dc dc);

    // Block transfers made so far: a figure for tests and benchmarks.
    long transfers = 0;

private:
    std::array<const Surface*, 9> all() const;
};

// BitBlt: combines a w x h rectangle of the source into the destination with
// the raster operation, on the 32-bit pixel values. Clipped to both surfaces:
// pixels with no source leave the destination as it was. An invalid device
// context draws nothing; the result is never examined.
void bitBlt(Surfaces& surfaces, Dc dst, std::int32_t x, std::int32_t y, std::int32_t w,
            std::int32_t h, Dc src, std::int32_t sx, std::int32_t sy, Rop rop);

// The font used for a face name and size: the face itself when the system has
// it, otherwise a fixed-pitch face of the same size.
QFont resolveFont(const QString& name, double points, bool bold);

}  // namespace bopatron::draw
