// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The seven pictures of the main window and the surfaces made with them. The
// host decodes the picture files (each platform has its own decoder); the
// game decides which files, what size, and what takes the place of one that
// cannot be read.

#include "draw/surface.h"
#include "runtime/host.h"

#include <functional>
#include <optional>
#include <string>

namespace bopatron::draw {

inline constexpr int kFieldWidth = 437;  // the client area and the back buffer
inline constexpr int kFieldHeight = 284;

// Decodes a picture file into a surface of its pixels; nothing when it cannot.
using PictureDecoder = std::function<std::optional<Surface>(const std::string& path)>;

// Creates every surface of the window: the pictures from their files in the
// folder and the back buffer filled with the button face. A picture that cannot be
// read is reported to the host and replaced by a blank of its size (bare
// field, or a sheet that draws nothing), so the game still starts.
void loadPictures(Surfaces& surfaces, runtime::Host& host, const std::string& folder, const PictureDecoder& decode);

}  // namespace bopatron::draw
