// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "draw/pictures.h"

#include "draw/compositor.h"
#include "runtime/basic.h"

namespace bopatron::draw {

namespace {

constexpr int kSheetWidth = 275;
constexpr std::uint32_t kFieldGreen = 0xff008000;
constexpr std::uint32_t kWhite = 0xffffffff;
constexpr std::uint32_t kBlack = 0xff000000;
constexpr char kSheetLost[] = "cannot be read: the hand and one character's rats cannot be seen";

Surface picture(runtime::Host& host, const std::string& folder, const PictureDecoder& decode, const char* name,
                int width, int height, std::uint32_t blank, const char* effect = kSheetLost) {
    const std::string path = runtime::programPath(folder, std::string("\\") + name);
    std::optional<Surface> decoded = decode(path);
    if (!decoded) {
        host.reportDamage(path, effect);
        return Surface(width, height, blank);
    }
    return std::move(*decoded);
}

}  // namespace

void loadPictures(Surfaces& s, runtime::Host& host, const std::string& folder, const PictureDecoder& decode) {
    // In the order the window creates its controls.
    s.Picmsk3 = picture(host, folder, decode, "Picmsk3.png", kSheetWidth, 182, kWhite);
    s.Picimg3 = picture(host, folder, decode, "Picimg3.png", kSheetWidth, 182, kBlack);
    s.Picmsk2 = picture(host, folder, decode, "Picmsk2.png", kSheetWidth, 182, kWhite);
    s.Picimg2 = picture(host, folder, decode, "Picimg2.png", kSheetWidth, 182, kBlack);
    s.Picbuf = Surface(kFieldWidth, kFieldHeight, kButtonFace);
    s.Picmsk = picture(host, folder, decode, "Picmsk.png", kSheetWidth, 181, kWhite);
    s.Picimg = picture(host, folder, decode, "Picimg.png", kSheetWidth, 181, kBlack);
    s.Picbak = picture(host, folder, decode, "Picbak.png", 436, kFieldHeight, kFieldGreen,
                       "cannot be read: the field is bare, without holes");
    s.window = Surface(kFieldWidth, kFieldHeight, kButtonFace);
    s.Picbuf.text.foreColor = kButtonText;
}

}  // namespace bopatron::draw
