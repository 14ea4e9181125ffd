#pragma once
// Where the play field is shown in the window, and how large: every field
// pixel is a scale x scale block whose top-left corner is origin + scale * p.
// The game sees only field pixels; the window maps its own positions back.

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

namespace bopatron::ui {

inline constexpr int kFieldWidth = 437;  // the client area and the back buffer
inline constexpr int kFieldHeight = 284;
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
    // The smallest field rectangle whose pixels cover a window rectangle.
    QRect fieldCovering(const QRect& window) const;
    // The whole field in the window.
    QRect fieldInWindow() const { return toWindow({0, 0, kFieldWidth, kFieldHeight}); }
};

// The largest scale, 1 to kMaxScale, at which the field fits the area; 1
// when even that does not fit.
int largestScaleFitting(QSize area);

// The view of a window of the given size: at the scale in the top-left
// corner, or, in fullscreen, as large as fits and centred.
FieldView viewFor(QSize window, int scale, bool fullscreen);

}  // namespace bopatron::ui
