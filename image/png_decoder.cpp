// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "image/png_decoder.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>

namespace bopatron::image {

namespace {

struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~Reader() { png_destroy_read_struct(&png, &info, nullptr); }
};

}  // namespace

std::optional<draw::Surface> decodePng(const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return std::nullopt;
    Reader r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (r.png == nullptr || (r.info = png_create_info_struct(r.png)) == nullptr) return std::nullopt;
    std::vector<std::uint32_t> pixels;
    std::vector<png_byte> rows;
    if (setjmp(png_jmpbuf(r.png))) return std::nullopt;  // a damaged file
    png_init_io(r.png, file.get());
    png_read_info(r.png, r.info);
    // Every kind of PNG as 8-bit red, green and blue: the game's pictures are
    // opaque, so any transparency is dropped.
    png_set_expand(r.png);
    png_set_strip_16(r.png);
    png_set_strip_alpha(r.png);
    png_set_gray_to_rgb(r.png);
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    const png_uint_32 width = png_get_image_width(r.png, r.info), height = png_get_image_height(r.png, r.info);
    if (png_get_channels(r.png, r.info) != 3 || width > 65536 || height > 65536) return std::nullopt;
    rows.resize(static_cast<std::size_t>(width) * 3 * height);
    std::vector<png_bytep> pointers(height);
    for (png_uint_32 y = 0; y < height; ++y) pointers[y] = rows.data() + static_cast<std::size_t>(y) * width * 3;
    png_read_image(r.png, pointers.data());
    pixels.resize(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0xff000000u | std::uint32_t{rows[3 * i]} << 16 | std::uint32_t{rows[3 * i + 1]} << 8 | rows[3 * i + 2];
    return draw::Surface(static_cast<int>(width), static_cast<int>(height), std::move(pixels));
}

}  // namespace bopatron::image
