// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// PNG files decoded with libpng, for every host, tool, test and bench that reads pictures.

#include "draw/surface.h"

#include <optional>
#include <string>

namespace bopatron::image {

// A PNG file's pixels as 0xffRRGGBB values; nothing when it cannot be read.
std::optional<draw::Surface> decodePng(const std::string& path);

}  // namespace bopatron::image
