// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The seven pictures of the main window, read from the program's folder.

#include "draw/surface.h"
#include "runtime/host.h"
#include "ui/field_view.h"

#include <QColor>
#include <QString>

namespace bopatron::ui {

// Creates every surface of the window: the pictures from their files in the
// folder and the back buffer filled with the button face. A picture that cannot be
// read is reported to the host and replaced by a blank of its size (bare
// field, or a sheet that draws nothing), so the game still starts.
void loadPictures(draw::Surfaces& surfaces, runtime::Host& host, const QString& folder);

}  // namespace bopatron::ui
