// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "art.h"

#include <QPainterPath>
#include <QPolygonF>

#include <array>
#include <cmath>
#include <cstdint>

namespace bopatron::tools {

namespace {

const QColor kOutline(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kPink(255, 160, 128);
const QColor kNose(255, 96, 128);
const QColor kStarYellow(255, 255, 0);

QImage canvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void smooth(QPainter& p) { p.setRenderHint(QPainter::Antialiasing, true); }

void outlined(QPainter& p, const QColor& fill, double width = 1.2) {
    p.setPen(QPen(kOutline, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
}

void filled(QPainter& p, const QColor& fill) {
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
}

// Each character's look.
struct Look {
    QColor fur;
    QColor furDark;
    QColor muzzle;
};

Look look(int kind) {
    switch (kind) {
        case 1:  // a violet know-all behind thick glasses
            return {QColor(160, 64, 192), QColor(96, 32, 128), QColor(224, 160, 255)};
        case 2:  // a blue-grey jumper with huge ears and a red nose
            return {QColor(96, 128, 160), QColor(64, 96, 128), QColor(192, 224, 255)};
        default:  // the classic brown sewer rat
            return {QColor(128, 96, 64), QColor(96, 64, 32), QColor(192, 160, 128)};
    }
}

void star(QPainter& p, QPointF centre, double radius, const QColor& colour) {
    QPolygonF points;
    for (int i = 0; i < 10; ++i) {
        const double angle = -M_PI / 2 + i * M_PI / 5;
        const double r = (i % 2 == 0) ? radius : radius * 0.45;
        points << centre + QPointF(r * std::cos(angle), r * std::sin(angle));
    }
    outlined(p, colour, 0.8);
    p.drawPolygon(points);
}

void ears(QPainter& p, int kind, const Look& l) {
    switch (kind) {
        case 1:
            outlined(p, l.fur);
            p.drawEllipse(QRectF(6, 7, 11, 11));
            p.drawEllipse(QRectF(27, 7, 11, 11));
            filled(p, kPink);
            p.drawEllipse(QRectF(8.5, 9.5, 6, 6));
            p.drawEllipse(QRectF(29.5, 9.5, 6, 6));
            // A tuft of orange hair on the crown.
            outlined(p, QColor(255, 128, 0), 0.9);
            p.drawPolygon(QPolygonF({QPointF(17, 8), QPointF(19, 0.5), QPointF(22, 6), QPointF(25, 0.5),
                                     QPointF(27, 8)}));
            break;
        case 2:
            outlined(p, l.fur);
            p.drawEllipse(QRectF(0.5, 0.5, 17, 20));
            p.drawEllipse(QRectF(26.5, 0.5, 17, 20));
            filled(p, kPink);
            p.drawEllipse(QRectF(4, 4, 10, 13));
            p.drawEllipse(QRectF(30, 4, 10, 13));
            break;
        default:
            outlined(p, l.fur);
            p.drawEllipse(QRectF(6, 1, 13, 14));
            p.drawEllipse(QRectF(25, 1, 13, 14));
            filled(p, kPink);
            p.drawEllipse(QRectF(9, 4, 7, 8));
            p.drawEllipse(QRectF(28, 4, 7, 8));
            break;
    }
}

void whiskers(QPainter& p, double y) {
    p.setPen(QPen(QColor(32, 32, 0), 0.8));
    p.drawLine(QPointF(14, y), QPointF(3, y - 2));
    p.drawLine(QPointF(14, y + 2), QPointF(3, y + 3));
    p.drawLine(QPointF(30, y), QPointF(41, y - 2));
    p.drawLine(QPointF(30, y + 2), QPointF(41, y + 3));
}

void face(QPainter& p, int kind, const Look& l) {
    // Muzzle.
    outlined(p, l.muzzle, 0.9);
    p.drawEllipse(QRectF(13, 22, 18, 12));
    switch (kind) {
        case 1: {
            // Thick round glasses with small eyes swimming behind them.
            p.setPen(QPen(kOutline, 2.2));
            p.setBrush(kWhite);
            p.drawEllipse(QPointF(15.5, 17), 5.2, 5.2);
            p.drawEllipse(QPointF(28.5, 17), 5.2, 5.2);
            p.drawLine(QPointF(20.5, 16.5), QPointF(23.5, 16.5));
            filled(p, kOutline);
            p.drawEllipse(QPointF(16.5, 18), 1.6, 1.6);
            p.drawEllipse(QPointF(27.5, 18), 1.6, 1.6);
            filled(p, kNose);
            p.drawEllipse(QPointF(22, 24.5), 2.6, 2.0);
            // A smug little smile.
            p.setPen(QPen(kOutline, 1.0));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(17, 24, 10, 6), 200 * 16, 140 * 16);
            break;
        }
        case 2: {
            // Wide eyes, a big red nose and a toothy grin.
            outlined(p, kWhite, 0.9);
            p.drawEllipse(QPointF(15.5, 16.5), 4.2, 5.0);
            p.drawEllipse(QPointF(28.5, 16.5), 4.2, 5.0);
            filled(p, kOutline);
            p.drawEllipse(QPointF(16.5, 17.5), 2.0, 2.4);
            p.drawEllipse(QPointF(27.5, 17.5), 2.0, 2.4);
            outlined(p, QColor(128, 0, 0), 0.6);
            p.drawPath([] {
                QPainterPath grin;
                grin.moveTo(15, 28);
                grin.quadTo(22, 35, 29, 28);
                grin.closeSubpath();
                return grin;
            }());
            filled(p, kWhite);
            p.drawRect(QRectF(19.5, 28.3, 2.2, 2.2));
            p.drawRect(QRectF(22.3, 28.3, 2.2, 2.2));
            outlined(p, QColor(255, 0, 0), 0.8);
            p.drawEllipse(QPointF(22, 24), 4.0, 3.4);
            filled(p, kWhite);
            p.drawEllipse(QPointF(20.8, 22.8), 1.0, 0.8);
            break;
        }
        default: {
            // Beady eyes, a pink nose, whiskers and two buck teeth.
            filled(p, kOutline);
            p.drawEllipse(QPointF(15.5, 17), 2.8, 3.2);
            p.drawEllipse(QPointF(28.5, 17), 2.8, 3.2);
            filled(p, kWhite);
            p.drawEllipse(QPointF(16.4, 16), 0.9, 0.9);
            p.drawEllipse(QPointF(29.4, 16), 0.9, 0.9);
            outlined(p, kNose, 0.6);
            p.drawEllipse(QPointF(22, 24), 2.8, 2.2);
            whiskers(p, 26);
            outlined(p, kWhite, 0.6);
            p.drawRect(QRectF(19.6, 29, 2.3, 3.4));
            p.drawRect(QRectF(22.1, 29, 2.3, 3.4));
            break;
        }
    }
}

}  // namespace

QImage ratFigure(int kind) {
    const Look l = look(kind);
    QImage image = canvas(kFigureWidth, kFigureHeight);
    QPainter p(&image);
    smooth(p);
    // Shoulders.
    outlined(p, l.furDark);
    p.drawRoundedRect(QRectF(3, 31, 38, 20), 10, 10);
    filled(p, l.muzzle);
    p.drawEllipse(QRectF(14, 35, 16, 14));
    ears(p, kind, l);
    // Head.
    outlined(p, l.fur);
    p.drawEllipse(QRectF(6, 5, 32, 30));
    face(p, kind, l);
    return image;
}

QImage whackedFigure(int kind, int stage, int height) {
    const Look l = look(kind);
    QImage image = canvas(kWhackedWidth, height);
    QPainter p(&image);
    smooth(p);
    const double cx = kWhackedWidth / 2.0;
    // A flattened head: wider and lower the harder it was hit.
    const double headW = stage == 0 ? 40 : 46;
    const double headH = stage == 0 ? 22 : 14;
    const double top = height - headH - (stage == 0 ? 3 : 1);
    const QRectF head(cx - headW / 2, top, headW, headH);
    outlined(p, l.fur);
    // Ears flopped to the sides.
    p.drawEllipse(QRectF(head.left() - 2, top + 2, 12, 8));
    p.drawEllipse(QRectF(head.right() - 10, top + 2, 12, 8));
    p.drawEllipse(head);
    // A bump on the crown.
    outlined(p, QColor(255, 128, 128), 0.9);
    p.drawEllipse(QRectF(cx - 4, top - 4, 8, 6));
    // Crossed-out eyes.
    p.setPen(QPen(kOutline, 1.4, Qt::SolidLine, Qt::RoundCap));
    const double eyeY = top + headH * 0.38;
    for (double ex : {cx - 8.0, cx + 8.0}) {
        p.drawLine(QPointF(ex - 2.5, eyeY - 2.5), QPointF(ex + 2.5, eyeY + 2.5));
        p.drawLine(QPointF(ex - 2.5, eyeY + 2.5), QPointF(ex + 2.5, eyeY - 2.5));
    }
    // A tongue hanging out of a wobbly mouth.
    const double mouthY = top + headH * 0.72;
    outlined(p, QColor(255, 96, 96), 0.8);
    p.drawEllipse(QRectF(cx + 1, mouthY - 1, 5, 6));
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(Qt::NoBrush);
    QPainterPath wobble;
    wobble.moveTo(cx - 7, mouthY);
    wobble.cubicTo(cx - 4, mouthY - 2, cx - 1, mouthY + 2, cx + 7, mouthY - 0.5);
    p.drawPath(wobble);
    if (kind == 1) {
        // The glasses knocked askew.
        p.setPen(QPen(kOutline, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(cx - 8, eyeY - 1), 4.5, 4.0);
        p.drawEllipse(QPointF(cx + 8, eyeY + 1), 4.5, 4.0);
    }
    if (kind == 2) {
        outlined(p, QColor(255, 0, 0), 0.8);
        p.drawEllipse(QPointF(cx, top + headH * 0.55), 3.5, 2.8);
    }
    // Stars circling overhead.
    if (stage == 0) {
        star(p, QPointF(cx - 14, 6), 5.5, kStarYellow);
        star(p, QPointF(cx + 1, 4), 4.5, kWhite);
        star(p, QPointF(cx + 15, 7), 5.5, kStarYellow);
    } else {
        star(p, QPointF(cx - 10, 5), 4.0, kStarYellow);
        star(p, QPointF(cx + 11, 4), 4.0, kStarYellow);
    }
    return image;
}

namespace {

const QColor kGlove(255, 255, 255);
const QColor kGloveShade(192, 192, 255);
const QColor kCuff(255, 192, 0);
const QColor kSleeve(192, 0, 0);
const QColor kSleeveDark(128, 0, 0);

void sleeve(QPainter& p, const QPolygonF& shape, QLineF stripe) {
    outlined(p, kSleeve, 1.4);
    p.drawPolygon(shape);
    p.setPen(QPen(kSleeveDark, 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(stripe);
}

void fist(QPainter& p, const QRectF& body, bool bigger) {
    outlined(p, kGlove, 1.5);
    p.drawRoundedRect(body, 9, 9);
    // Curled fingers on the striking side.
    p.setPen(QPen(kGloveShade, 1.6, Qt::SolidLine, Qt::RoundCap));
    const double step = body.height() / 4.0;
    for (int i = 1; i < 4; ++i) {
        const double y = body.top() + i * step;
        p.drawLine(QPointF(body.left() + 3, y), QPointF(body.left() + body.width() * 0.45, y));
    }
    // The thumb across the top.
    outlined(p, kGlove, 1.3);
    const double thumbW = bigger ? 17 : 15;
    p.drawEllipse(QRectF(body.left() + body.width() * 0.35, body.top() - 4, thumbW, 9));
    // The three stitched lines on the back of the glove.
    p.setPen(QPen(kOutline, 0.9, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
        const double x = body.left() + body.width() * (0.62 + i * 0.1);
        p.drawLine(QPointF(x, body.top() + body.height() * 0.35), QPointF(x, body.top() + body.height() * 0.7));
    }
}

}  // namespace

QImage handUp() {
    QImage image = canvas(97, 54);
    QPainter p(&image);
    smooth(p);
    // The arm comes in from the upper right; the knuckles hover over the pointer at (15, 40).
    sleeve(p, QPolygonF({QPointF(36, 14), QPointF(96.5, 1), QPointF(96.5, 27), QPointF(38, 38)}),
           QLineF(QPointF(50, 15), QPointF(92, 6)));
    outlined(p, kCuff, 1.3);
    p.drawRoundedRect(QRectF(28, 13, 11, 26), 4, 4);
    fist(p, QRectF(2, 14, 30, 24), false);
    return image;
}

QImage handDown() {
    QImage image = canvas(90, 64);
    QPainter p(&image);
    smooth(p);
    // The arm swings down steeply; the fist lands on the pointer at (15, 46).
    sleeve(p, QPolygonF({QPointF(36, 24), QPointF(76, 0.5), QPointF(89.5, 0.5), QPointF(89.5, 14),
                         QPointF(42, 50)}),
           QLineF(QPointF(48, 28), QPointF(82, 6)));
    outlined(p, kCuff, 1.3);
    p.drawRoundedRect(QRectF(30, 22, 12, 29), 4, 4);
    fist(p, QRectF(1, 24, 33, 28), true);
    // Speed lines above the blow.
    p.setPen(QPen(QColor(255, 255, 255), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(6, 6), QPointF(8, 17));
    p.drawLine(QPointF(15, 3), QPointF(16, 16));
    p.drawLine(QPointF(24, 5), QPointF(24, 17));
    // A little impact burst under the knuckles.
    p.setPen(QPen(kStarYellow, 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(2, 56), QPointF(-1, 61));
    p.drawLine(QPointF(12, 56), QPointF(12, 63));
    p.drawLine(QPointF(22, 56), QPointF(26, 62));
    return image;
}

QImage handOpen(int width, int height) {
    QImage image = canvas(width, height);
    QPainter p(&image);
    smooth(p);
    // A waving open hand: the pose the game keeps in its sheets but never shows.
    sleeve(p, QPolygonF({QPointF(14, height - 14), QPointF(44, height - 14), QPointF(48, height - 0.5),
                         QPointF(10, height - 0.5)}),
           QLineF(QPointF(16, height - 6), QPointF(42, height - 6)));
    outlined(p, kCuff, 1.3);
    p.drawRoundedRect(QRectF(12, height - 22, 34, 10), 4, 4);
    outlined(p, kGlove, 1.4);
    for (int i = 0; i < 4; ++i) p.drawRoundedRect(QRectF(12 + i * 8.5, 4 + (i == 0 || i == 3 ? 5 : 0), 8, 26), 4, 4);
    p.drawRoundedRect(QRectF(11, 20, 36, 24), 8, 8);
    p.drawRoundedRect(QRectF(44, 22, 9, 22), 4, 4);
    return image;
}

namespace {

// A small fixed pseudo-random sequence for the grass, the same on every run.
class Scatter {
public:
    explicit Scatter(std::uint32_t seed) : state_(seed) {}
    int next(int n) {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<int>((state_ >> 8) % static_cast<std::uint32_t>(n));
    }

private:
    std::uint32_t state_;
};

constexpr std::array<QRect, 9> kOpenings = {
    QRect(183, 87, 58, 19),  QRect(127, 118, 53, 19), QRect(79, 158, 52, 16),
    QRect(248, 96, 53, 20),  QRect(192, 127, 52, 21), QRect(151, 164, 53, 20),
    QRect(307, 103, 53, 21), QRect(262, 137, 58, 19), QRect(222, 173, 56, 19),
};
const QRect kPortrait(369, 1, 66, 87);

void portrait(QPainter& p) {
    const QRectF frame(kPortrait);
    outlined(p, QColor(160, 96, 0), 1.0);
    p.drawRect(frame.adjusted(0.5, 0.5, -0.5, -0.5));
    filled(p, QColor(255, 192, 64));
    p.drawRect(frame.adjusted(3, 3, -3, -3));
    filled(p, QColor(0, 32, 64));
    p.drawRect(frame.adjusted(6, 6, -6, -6));
    p.save();
    p.setClipRect(frame.adjusted(6, 6, -6, -6));
    const double cx = frame.center().x();
    // Overalls and shirt.
    outlined(p, QColor(0, 64, 192), 1.0);
    p.drawEllipse(QRectF(cx - 24, 68, 48, 30));
    filled(p, QColor(255, 0, 0));
    p.drawRect(QRectF(cx - 6, 68, 12, 8));
    // The farmer's face, with a straw hat and a big moustache.
    outlined(p, QColor(255, 192, 128), 1.0);
    p.drawEllipse(QRectF(cx - 15, 26, 30, 38));
    p.drawEllipse(QRectF(cx - 19, 40, 7, 10));
    p.drawEllipse(QRectF(cx + 12, 40, 7, 10));
    outlined(p, QColor(255, 192, 64), 1.0);
    p.drawEllipse(QRectF(cx - 26, 24, 52, 10));
    p.drawRoundedRect(QRectF(cx - 14, 9, 28, 20), 6, 6);
    filled(p, QColor(192, 0, 0));
    p.drawRect(QRectF(cx - 14, 22, 28, 4));
    // Grumpy brows and eyes.
    p.setPen(QPen(kOutline, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(cx - 10, 38), QPointF(cx - 3, 41));
    p.drawLine(QPointF(cx + 10, 38), QPointF(cx + 3, 41));
    filled(p, kOutline);
    p.drawEllipse(QPointF(cx - 6, 44), 1.8, 1.8);
    p.drawEllipse(QPointF(cx + 6, 44), 1.8, 1.8);
    outlined(p, QColor(255, 96, 96), 0.8);
    p.drawEllipse(QPointF(cx, 50), 3.5, 3.0);
    outlined(p, QColor(96, 64, 32), 0.8);
    QPainterPath moustache;
    moustache.moveTo(cx, 53);
    moustache.cubicTo(cx - 6, 51, cx - 13, 53, cx - 14, 59);
    moustache.cubicTo(cx - 8, 57, cx - 4, 57, cx, 56);
    moustache.cubicTo(cx + 4, 57, cx + 8, 57, cx + 14, 59);
    moustache.cubicTo(cx + 13, 53, cx + 6, 51, cx, 53);
    p.drawPath(moustache);
    p.restore();
}

void hole(QPainter& p, const QRect& opening) {
    const QRectF r(opening);
    // Earth thrown up around the hole, lighter on the near lip.
    filled(p, QColor(96, 64, 32));
    p.drawEllipse(r.adjusted(-6, -4, 6, 5));
    filled(p, QColor(160, 128, 64));
    p.drawEllipse(r.adjusted(-4, -1, 4, 4));
    filled(p, QColor(128, 96, 64));
    p.drawEllipse(r.adjusted(-3, -2, 3, 2));
    // The dark opening, exactly inside its rectangle: every pixel whose centre
    // lies in the ellipse of the rectangle, and a dim floor in its lower half.
    p.setRenderHint(QPainter::Antialiasing, false);
    const double cx = r.left() + r.width() / 2.0, cy = r.top() + r.height() / 2.0;
    const double rx = r.width() / 2.0, ry = r.height() / 2.0;
    for (int y = opening.top(); y <= opening.bottom(); ++y) {
        for (int x = opening.left(); x <= opening.right(); ++x) {
            const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
            const double d = dx * dx + dy * dy;
            if (d > 1.0) continue;
            const bool floor = dy > 0.1 && dx * dx / 0.45 + (dy - 0.55) * (dy - 0.55) / 0.2 < 1.0;
            p.setPen(floor ? QColor(32, 32, 0) : QColor(0, 0, 0));
            p.drawPoint(x, y);
        }
    }
    p.setRenderHint(QPainter::Antialiasing, true);
}

}  // namespace

QImage field() {
    QImage image(436, 284, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0, 128, 0));
    QPainter p(&image);
    smooth(p);

    // The board: a slanted lawn edged by a darker border, seen in perspective.
    const QPointF c00(215, 96), c02(332, 114), c20(105, 164), c22(250, 182);
    const QPointF u = (c02 - c00) / 2.0, v = (c20 - c00) / 2.0;
    const double m = 0.75;
    const QPolygonF board({c00 - m * u - m * v, c02 + m * u - m * v, c22 + m * u + m * v, c20 - m * u + m * v});
    p.setPen(QPen(QColor(0, 96, 0), 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(board);
    p.setPen(QPen(QColor(32, 160, 0), 1.5));
    p.drawPolygon(board.translated(0, 3));

    // Tufts of grass and a few flowers, scattered the same way every time.
    Scatter scatter(20261207u);
    auto clear = [](QPointF at) {
        if (kPortrait.adjusted(-3, -3, 3, 3).contains(at.toPoint())) return false;
        for (const QRect& o : kOpenings) {
            if (o.adjusted(-9, -8, 9, 9).contains(at.toPoint())) return false;
        }
        return true;
    };
    for (int i = 0; i < 700; ++i) {
        const QPointF at(scatter.next(436), scatter.next(284));
        const bool light = scatter.next(3) == 0;
        if (!clear(at)) continue;
        p.setPen(QPen(light ? QColor(32, 160, 0) : QColor(0, 96, 0), 1.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(at, at + QPointF(-2, -4));
        p.drawLine(at, at + QPointF(0, -5));
        p.drawLine(at, at + QPointF(2, -4));
    }
    for (int i = 0; i < 26; ++i) {
        const QPointF at(scatter.next(436), 40 + scatter.next(244));
        if (!clear(at)) continue;
        const QColor petals = scatter.next(2) == 0 ? QColor(255, 255, 255) : QColor(255, 255, 64);
        filled(p, petals);
        for (int k = 0; k < 4; ++k) {
            const double a = k * M_PI / 2;
            p.drawEllipse(at + QPointF(1.6 * std::cos(a), 1.6 * std::sin(a)), 1.3, 1.3);
        }
        filled(p, QColor(255, 160, 0));
        p.drawEllipse(at, 1.0, 1.0);
    }

    for (const QRect& o : kOpenings) hole(p, o);
    portrait(p);
    return image;
}

QImage icon(int size) {
    QImage image = canvas(size, size);
    QPainter p(&image);
    smooth(p);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.scale(size / 64.0, size / 64.0);
    outlined(p, QColor(0, 160, 0), 2.0);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    filled(p, QColor(96, 64, 32));
    p.drawEllipse(QRectF(9, 41, 46, 17));
    filled(p, QColor(0, 0, 0));
    p.drawEllipse(QRectF(13, 43, 38, 12));
    // The rat, rising from its hole.
    const QImage rat = ratFigure(0);
    p.save();
    p.setClipRect(QRectF(0, 0, 64, 49));
    p.drawImage(QRectF(14, 6, 36, 36.8), rat);
    p.restore();
    star(p, QPointF(51, 13), 8, kStarYellow);
    return image;
}

}  // namespace bopatron::tools
