// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Pictures for hosts without a toolkit: PNG files decoded with libpng.

#include "draw/surface.h"

#include <optional>
#include <string>

namespace bopatron::headless {

// A PNG file's pixels as 0xffRRGGBB values; nothing when it cannot be read.
std::optional<draw::Surface> decodePng(const std::string& path);

}  // namespace bopatron::headless
