// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Where the play field is shown in the window, and how large: every field
// pixel is a scale x scale block whose top-left corner is origin + scale * p.
// The game sees only field pixels; the window maps its own positions back.

#include "draw/pictures.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRegion>
#include <QSize>

class QPainter;

namespace bopatron::ui {

inline constexpr int kFieldWidth = draw::kFieldWidth;  // the client area and the back buffer
inline constexpr int kFieldHeight = draw::kFieldHeight;
inline constexpr int kMaxScale = 8;

struct FieldView {
    int scale = 1;
    QPoint origin;

    // A window position as a field position: fractional inside a field pixel.
    QPointF toField(QPointF window) const { return (window - QPointF(origin)) / scale; }
    // A field rectangle as the window rectangle that shows it.
    QRect toWindow(const QRect& field) const {
        return {origin + field.topLeft() * scale, field.size() * scale};
    }
    QRegion toWindow(const QRegion& field) const {
        QRegion window;
        for (const QRect& r : field) window += toWindow(r);
        return window;
    }
    // The smallest field rectangle whose pixels cover a window rectangle.
    QRect fieldCovering(const QRect& window) const;
    // The whole field in the window.
    QRect fieldInWindow() const { return toWindow(QRect(0, 0, kFieldWidth, kFieldHeight)); }
};

// The largest scale, 1 to kMaxScale, at which the field fits the area; 1
// when even that does not fit.
int largestScaleFitting(QSize area);

// The largest scale whose window, frame included, fits a screen's available area.
int largestWindowScale(QSize available);

// The view of a window of the given size: at the scale in the top-left
// corner, or, in fullscreen, as large as fits and centred.
FieldView viewFor(QSize window, int scale, bool fullscreen);

// The field pixels where two frames of one size differ, as whole tiles of
// 16 x 16: what must reach the screen after a tick. A frame of another size
// differs everywhere.
QRegion changedTiles(const QImage& now, const QImage& before);

// Paints the part of the window in region: the frame, each field pixel a
// block of whole pixels (nearest neighbour, no smoothing), and the face
// colour around the field.
void paintField(QPainter& painter, const QRegion& region, const FieldView& view, const QImage& frame,
                QColor face);

}  // namespace bopatron::ui
