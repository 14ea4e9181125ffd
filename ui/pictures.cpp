// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/pictures.h"

#include "draw/compositor.h"

#include <QDir>
#include <QImage>

namespace bopatron::ui {

namespace {

constexpr int kSheetWidth = 275;
constexpr QRgb kFieldGreen = 0xff008000;
constexpr char kSheetLost[] = "cannot be read: the hand and one character's rats cannot be seen";

draw::Surface picture(runtime::Host& host, const QString& folder, const char* name, int width, int height,
                      QRgb blank, const char* effect = kSheetLost) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    QImage image(path);
    if (image.isNull()) {
        host.reportDamage(QDir::toNativeSeparators(path).toStdString(), effect);
        return draw::Surface(width, height, QColor::fromRgb(blank));
    }
    return draw::Surface(std::move(image));
}

}  // namespace

void loadPictures(draw::Surfaces& s, runtime::Host& host, const QString& folder) {
    const QColor buttonFace = QColor::fromRgb(draw::kButtonFace);
    // In the order the window creates its controls.
    s.Picmsk3 = picture(host, folder, "Picmsk3.png", kSheetWidth, 182, 0xffffffff);
    s.Picimg3 = picture(host, folder, "Picimg3.png", kSheetWidth, 182, 0xff000000);
    s.Picmsk2 = picture(host, folder, "Picmsk2.png", kSheetWidth, 182, 0xffffffff);
    s.Picimg2 = picture(host, folder, "Picimg2.png", kSheetWidth, 182, 0xff000000);
    s.Picbuf = draw::Surface(kFieldWidth, kFieldHeight, buttonFace);
    s.Picmsk = picture(host, folder, "Picmsk.png", kSheetWidth, 181, 0xffffffff);
    s.Picimg = picture(host, folder, "Picimg.png", kSheetWidth, 181, 0xff000000);
    s.Picbak = picture(host, folder, "Picbak.png", 436, kFieldHeight, kFieldGreen,
                       "cannot be read: the field is bare, without holes");
    s.window = draw::Surface(kFieldWidth, kFieldHeight, buttonFace);
    s.Picbuf.text.foreColor = QColor::fromRgb(draw::kButtonText);
}

}  // namespace bopatron::ui
