#include "ui/pictures.h"

#include <QDir>
#include <QImage>

#include <cstdio>

namespace bopatron::ui {

namespace {

constexpr int kSheetWidth = 275;
constexpr QRgb kFieldGreen = 0xff008000;

draw::Surface picture(const QString& folder, const char* name, int width, int height, QRgb blank) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    QImage image(path);
    if (image.isNull()) {
        std::fprintf(stderr, "bopatron: cannot read the picture %s\n", qPrintable(path));
        return draw::Surface(width, height, QColor::fromRgb(blank));
    }
    return draw::Surface(std::move(image));
}

}  // namespace

void loadPictures(draw::Surfaces& s, const QString& folder, QColor buttonFace) {
    // In the order the window creates its controls.
    s.Picmsk3 = picture(folder, "Picmsk3.png", kSheetWidth, 182, 0xffffffff);
    s.Picimg3 = picture(folder, "Picimg3.png", kSheetWidth, 182, 0xff000000);
    s.Picmsk2 = picture(folder, "Picmsk2.png", kSheetWidth, 182, 0xffffffff);
    s.Picimg2 = picture(folder, "Picimg2.png", kSheetWidth, 182, 0xff000000);
    s.Picbuf = draw::Surface(kFieldWidth, kFieldHeight, buttonFace);
    s.Picmsk = picture(folder, "Picmsk.png", kSheetWidth, 181, 0xffffffff);
    s.Picimg = picture(folder, "Picimg.png", kSheetWidth, 181, 0xff000000);
    s.Picbak = picture(folder, "Picbak.png", 436, kFieldHeight, kFieldGreen);
    s.window = draw::Surface(kFieldWidth, kFieldHeight, buttonFace);
}

}  // namespace bopatron::ui
