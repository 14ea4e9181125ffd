// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "draw/compositor.h"

#include "runtime/basic.h"

#include <algorithm>
#include <cstring>

namespace bopatron::draw {

using runtime::add16;
using runtime::sub16;
using runtime::toLong;

namespace {

// One full-size copy between two surfaces, sized by the back buffer's scale.
void copyWhole(Surfaces& s, Dc dst, Dc src) {
    const std::int32_t w = toLong(s.Picbuf.scaleWidth());
    const std::int32_t h = toLong(s.Picbuf.scaleHeight());
    bitBlt(s, dst, 0, 0, w, h, src, 0, 0, Rop::SrcCopy);
}

void drawMasked(Surfaces& s, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                SheetPair sheets, std::int32_t sx, std::int32_t sy) {
    const Dc buf = s.hDC(s.Picbuf);
    bitBlt(s, buf, x, y, w, h, sheets.Picvarmsk, sx, sy, Rop::SrcAnd);
    bitBlt(s, buf, x, y, w, h, sheets.Picvarimg, sx, sy, Rop::SrcInvert);
}

}  // namespace

void restoreBackground(Surfaces& s) {
    Surface& buf = s.Picbuf;
    if (!buf.tracksDamage() || buf.wholeDamaged()) {
        copyWhole(s, s.hDC(buf), s.hDC(s.Picbak));
    } else {
        // Everywhere else the back buffer holds the background still.
        const Surface& bak = s.Picbak;
        const int right = std::min(buf.width(), bak.width()), bottom = std::min(buf.height(), bak.height());
        for (const Surface::Rect& r : buf.damaged()) {
            const int x0 = std::max(r.x, 0), x1 = std::min(r.x + r.w, right);
            if (x0 >= x1) continue;
            for (int y = std::max(r.y, 0); y < std::min(r.y + r.h, bottom); ++y)
                std::memcpy(buf.row(y) + x0, bak.row(y) + x0, static_cast<std::size_t>(x1 - x0) * sizeof(std::uint32_t));
        }
    }
    buf.clearDamage();
}

SheetPair selectSheets(const Surfaces& s, std::int16_t ratKind) {
    switch (ratKind) {
        case 1:
            return {s.hDC(s.Picmsk2), s.hDC(s.Picimg2)};
        case 2:
            return {s.hDC(s.Picmsk3), s.hDC(s.Picimg3)};
        default:
            return {s.hDC(s.Picmsk), s.hDC(s.Picimg)};
    }
}

void drawStatusText(Surfaces& s, std::int16_t score, std::int16_t ticks) {
    TextState& text = s.Picbuf.text;
    text.fontName = kStatusFont;
    text.fontSize = kStatusFontSize;
    text.fontBold = false;
    text.currentX = 90;
    text.currentY = 10;
    s.Picbuf.print(std::string(kScoreLabel) + runtime::str(score));
    text.currentX = 90;
    s.Picbuf.print(std::string(kTimeLabel) + runtime::str(sub16(1000, ticks)));
}

void drawarat(Surfaces& s, const SpriteTable& t, std::int16_t X, std::int16_t Y, std::int16_t cell,
              SheetPair sheets) {
    if (cell <= 0) return;
    if (cell > 15) throw runtime::RuntimeError(runtime::kErrSubscript, "Subscript out of range");
    drawMasked(s, add16(X, t.sprOffX[cell]), add16(Y, t.sprOffY[cell]), t.sprW[cell], t.sprH[cell],
               sheets, t.sprSrcX[cell], t.sprSrcY[cell]);
}

void drawhand(Surfaces& s, std::int16_t handX, std::int16_t handY, std::int16_t handDown,
              SheetPair sheets) {
    if (handDown == 0) {
        drawMasked(s, handX, handY, 97, 54, sheets, 0, 0);
    } else if (handDown == 1) {
        drawMasked(s, handX, sub16(handY, 6), 90, 64, sheets, 0, 54);
    }
}

void present(Surfaces& s) {
    if (!s.unwatched()) copyWhole(s, s.hDC(s.window), s.hDC(s.Picbuf));
}

}  // namespace bopatron::draw
