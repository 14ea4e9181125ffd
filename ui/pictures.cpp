// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/pictures.h"

#include <QDir>
#include <QImage>

namespace bopatron::ui {

void loadPictures(draw::Surfaces& s, runtime::Host& host, const QString& folder) {
    draw::loadPictures(s, host, QDir::toNativeSeparators(folder).toStdString(), decodePicture);
}

std::optional<draw::Surface> decodePicture(const std::string& path) {
    const QImage image(QString::fromStdString(path));
    if (image.isNull()) return std::nullopt;
    return surfaceOf(image);
}

draw::Surface surfaceOf(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    std::vector<std::uint32_t> pixels;
    pixels.reserve(static_cast<std::size_t>(rgb.width()) * rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        pixels.insert(pixels.end(), line, line + rgb.width());
    }
    return draw::Surface(rgb.width(), rgb.height(), std::move(pixels));
}

QImage imageOf(const draw::Surface& surface) {
    return QImage(reinterpret_cast<const uchar*>(surface.pixels().data()), surface.width(), surface.height(),
                  surface.width() * 4, QImage::Format_RGB32);
}

}  // namespace bopatron::ui
