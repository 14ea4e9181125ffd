// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Picture surfaces: persistent 32-bit bitmaps addressed through device-context
// handles, the block transfer that moves pixels between them, and the back
// buffer's text output in the raster face the game carries.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace bopatron::draw {

// Raster operations of a block transfer.
enum class Rop : std::uint32_t {
    SrcCopy = 0x00CC0020,
    SrcAnd = 0x008800C6,
    SrcInvert = 0x00660046,
};

// Text state of a surface that lines are printed on. Every face is drawn
// with the game's one raster face; the size sets the line height.
struct TextState {
    std::string fontName = "MS Sans Serif";
    double fontSize = 8.0;
    bool fontBold = false;
    int currentX = 0;
    int currentY = 0;
    std::uint32_t foreColor = 0xff000000;
};

// A picture: width x height pixels, row by row, each 0xffRRGGBB.
class Surface {
public:
    Surface() = default;
    Surface(int width, int height, std::uint32_t fill);
    // pixels holds width x height values; a shorter list is filled out with black.
    Surface(int width, int height, std::vector<std::uint32_t> pixels);

    int width() const { return width_; }
    int height() const { return height_; }
    const std::uint32_t* row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    std::uint32_t* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    std::uint32_t pixel(int x, int y) const { return row(y)[x]; }
    void setPixel(int x, int y, std::uint32_t value) { row(y)[x] = value; }
    void fill(std::uint32_t value);
    const std::vector<std::uint32_t>& pixels() const { return pixels_; }
    float scaleWidth() const { return static_cast<float>(width_); }
    float scaleHeight() const { return static_cast<float>(height_); }

    TextState text;
    // Prints one line at the text position, drawing only the letters; then the
    // position moves to the left edge and one line of the current size down.
    void print(std::string_view line);
    // Sees every printed line: lets tests read the text without reading pixels.
    std::function<void(std::string_view)> onPrint;

    // Where the surface was drawn since the last clearDamage, when it keeps track
    // (block transfers onto it and printed lines; nothing else draws on a back buffer).
    struct Rect {
        int x, y, w, h;
    };
    void trackDamage() { tracking_ = true; }
    bool tracksDamage() const { return tracking_; }
    void damage(int x, int y, int w, int h) {
        if (!tracking_ || whole_) return;
        // A mask and then its image land on the same rectangle: kept once.
        if (!damaged_.empty() && damaged_.back().x == x && damaged_.back().y == y && damaged_.back().w == w &&
            damaged_.back().h == h)
            return;
        if (damaged_.size() == kMostRects) whole_ = true;
        else damaged_.push_back({x, y, w, h});
    }
    void damageWhole() { whole_ = true; }
    bool wholeDamaged() const { return whole_; }
    const std::vector<Rect>& damaged() const { return damaged_; }
    void clearDamage() {
        damaged_.clear();
        whole_ = false;
    }

private:
    static constexpr std::size_t kMostRects = 64;
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
    bool tracking_ = false;
    bool whole_ = true;  // a new surface is drawn all over
    std::vector<Rect> damaged_;
};

// The height of a printed line at a size in points: the size in pixels at
// 96 dots per inch and two of leading, and never less than the face's 13.
int lineHeight(double points);

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

    // A replay no one watches (a server's): a present copies nothing, and the frame
    // shown is the back buffer, which holds what a present would copy; the back
    // buffer keeps track of where each frame drew, so that the background is
    // restored only there.
    void setUnwatched() {
        unwatched_ = true;
        Picbuf.trackDamage();
    }
    bool unwatched() const { return unwatched_; }
    const Surface& shown() const { return unwatched_ ? Picbuf : window; }

private:
    std::array<const Surface*, 9> all() const;
    bool unwatched_ = false;
};

// BitBlt: combines a w x h rectangle of the source into the destination with
// the raster operation, on the 32-bit pixel values. Clipped to both surfaces:
// pixels with no source leave the destination as it was. An invalid device
// context draws nothing; the result is never examined.
void bitBlt(Surfaces& surfaces, Dc dst, std::int32_t x, std::int32_t y, std::int32_t w,
            std::int32_t h, Dc src, std::int32_t sx, std::int32_t sy, Rop rop);

}  // namespace bopatron::draw
