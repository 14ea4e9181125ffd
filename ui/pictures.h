// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Pictures between Qt and the game: the desktop decodes the picture files
// with Qt and hands the game their pixels; the window shows the game's frames.

#include "draw/pictures.h"
#include "draw/surface.h"
#include "runtime/host.h"

#include <QImage>
#include <QString>

namespace bopatron::ui {

// Creates every surface of the window from the pictures in the folder.
void loadPictures(draw::Surfaces& surfaces, runtime::Host& host, const QString& folder);

// Decodes a picture file with Qt; nothing when it cannot be read.
std::optional<draw::Surface> decodePicture(const std::string& path);

// A picture's pixels as a surface.
draw::Surface surfaceOf(const QImage& picture);

// A surface's pixels as an image, sharing them (valid while the surface is unchanged in size).
QImage imageOf(const draw::Surface& surface);

}  // namespace bopatron::ui
