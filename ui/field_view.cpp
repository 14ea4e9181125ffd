#include "ui/field_view.h"

#include <algorithm>

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

FieldView viewFor(QSize window, int scale, bool fullscreen) {
    if (!fullscreen) return {scale, {}};
    const int n = largestScaleFitting(window);
    return {n, {(window.width() - n * kFieldWidth) / 2, (window.height() - n * kFieldHeight) / 2}};
}

}  // namespace bopatron::ui
