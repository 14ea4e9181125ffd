// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "headless/png_pictures.h"

#include <png.h>

namespace bopatron::headless {

std::optional<draw::Surface> decodePng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return std::nullopt;
    image.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB words on a little-endian machine
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    for (std::uint32_t& pixel : pixels) pixel |= 0xff000000u;  // every picture is opaque
    return draw::Surface(static_cast<int>(image.width), static_cast<int>(image.height), std::move(pixels));
}

}  // namespace bopatron::headless
