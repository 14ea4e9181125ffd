// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/field_view.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

namespace bopatron::ui {

namespace {

// a / b rounded down and up, for any sign of a (b > 0).
int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int ceilDiv(int a, int b) { return -floorDiv(-a, b); }

}  // namespace

QRect FieldView::fieldCovering(const QRect& window) const {
    const QPoint from = window.topLeft() - origin;
    const QPoint to = window.topLeft() + QPoint(window.width(), window.height()) - origin;
    const QRect covering(QPoint(floorDiv(from.x(), scale), floorDiv(from.y(), scale)),
                         QPoint(ceilDiv(to.x(), scale) - 1, ceilDiv(to.y(), scale) - 1));
    return covering.intersected({0, 0, kFieldWidth, kFieldHeight});
}

int largestScaleFitting(QSize area) {
    const int fits = std::min(area.width() / kFieldWidth, area.height() / kFieldHeight);
    return std::clamp(fits, 1, kMaxScale);
}

int largestWindowScale(QSize available) {
    // Room that a window frame takes around the client area.
    constexpr QSize kFrameAllowance(16, 48);
    return largestScaleFitting(available - kFrameAllowance);
}

FieldView viewFor(QSize window, int scale, bool fullscreen) {
    if (!fullscreen) return {scale, {}};
    const int n = largestScaleFitting(window);
    return {n, {(window.width() - n * kFieldWidth) / 2, (window.height() - n * kFieldHeight) / 2}};
}

QRegion changedTiles(const QImage& now, const QImage& before) {
    constexpr int kTile = 16;
    if (now.size() != before.size() || now.format() != before.format()) return QRegion(now.rect());
    QRegion changed;
    for (int y = 0; y < now.height(); y += kTile) {
        const int rows = std::min(kTile, now.height() - y);
        for (int x = 0; x < now.width(); x += kTile) {
            const int columns = std::min(kTile, now.width() - x);
            const auto offset = static_cast<std::size_t>(x) * sizeof(QRgb);
            const auto bytes = static_cast<std::size_t>(columns) * sizeof(QRgb);
            for (int row = y; row < y + rows; ++row) {
                if (std::memcmp(now.constScanLine(row) + offset, before.constScanLine(row) + offset, bytes) != 0) {
                    changed += QRect(x, y, columns, rows);
                    break;
                }
            }
        }
    }
    return changed;
}

void paintField(QPainter& painter, const QRegion& region, const FieldView& view, const QImage& frame,
                QColor face) {
    const QRect field = view.fieldInWindow();
    for (const QRect& r : region - field) painter.fillRect(r, face);
    for (const QRect& r : region & field) {
        const QRect source = view.fieldCovering(r);
        painter.drawImage(view.toWindow(source), frame, source);
    }
}

}  // namespace bopatron::ui
