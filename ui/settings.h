// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The player's remembered choices: scale, fullscreen and mute. The file is
// written only when the player changes one with a key, so a player who never
// does has none; a file that cannot be read, or a value out of range, gives
// the default.

#include <QString>

class QSettings;

namespace bopatron::ui {

struct Settings {
    int scale = 1;
    bool fullscreen = false;
    bool mute = false;
};

inline constexpr char kScaleKey[] = "scale";
inline constexpr char kFullscreenKey[] = "fullscreen";
inline constexpr char kMuteKey[] = "mute";

// The settings file in the platform's usual place (~/.config/Bopatron/Bopatron.conf on Linux).
QSettings& playerSettings();

Settings readSettings(QSettings& file);
// Keeps one choice: the key and its new value.
void remember(QSettings& file, const char* key, int value);

}  // namespace bopatron::ui
