// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Pictures between the desktop and the game: the picture files are decoded
// with libpng and handed to the game as pixels; the window shows the game's
// frames through Qt.

#include "draw/pictures.h"
#include "draw/surface.h"
#include "runtime/host.h"

#include <QImage>
#include <QString>

namespace bopatron::ui {

// Creates every surface of the window from the pictures in the folder.
void loadPictures(draw::Surfaces& surfaces, runtime::Host& host, const QString& folder);

// A surface's pixels as an image, sharing them (valid while the surface is unchanged in size).
QImage imageOf(const draw::Surface& surface);

}  // namespace bopatron::ui
