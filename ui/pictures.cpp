// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/pictures.h"

#include "image/png_decoder.h"

#include <QDir>
#include <QImage>

namespace bopatron::ui {

void loadPictures(draw::Surfaces& s, runtime::Host& host, const QString& folder) {
    // libpng straight away: Qt's image reader looks through its plugins first.
    draw::loadPictures(s, host, QDir::toNativeSeparators(folder).toStdString(), image::decodePng);
}

QImage imageOf(const draw::Surface& surface) {
    return QImage(reinterpret_cast<const uchar*>(surface.pixels().data()), surface.width(), surface.height(),
                  surface.width() * 4, QImage::Format_RGB32);
}

}  // namespace bopatron::ui
