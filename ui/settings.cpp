// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/settings.h"

#include "ui/field_view.h"

#include <QSettings>

namespace bopatron::ui {

namespace {

// The value under a key when it is a whole number from low to high, else fallback.
int readInt(const QSettings& file, const char* key, int low, int high, int fallback) {
    bool ok = false;
    const int value = file.value(QString::fromLatin1(key)).toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

}  // namespace

QSettings& playerSettings() {
    static QSettings file(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Bopatron"),
                          QStringLiteral("Bopatron"));
    return file;
}

Settings readSettings(QSettings& file) {
    Settings s;
    if (file.status() != QSettings::NoError) return s;
    s.scale = readInt(file, kScaleKey, 1, kMaxScale, s.scale);
    s.fullscreen = readInt(file, kFullscreenKey, 0, 1, 0) == 1;
    s.mute = readInt(file, kMuteKey, 0, 1, 0) == 1;
    return s;
}

void remember(QSettings& file, const char* key, int value) {
    file.setValue(QString::fromLatin1(key), value);
    file.sync();
}

}  // namespace bopatron::ui
