// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The host the game runs on when it runs in a real window: Qt's clock,
// pointer, input dialog and sound, the shared random generator and the
// program's folder.

#include "runtime/basic.h"
#include "runtime/host.h"
#include "ui/sound_player.h"

#include <QString>

#include <memory>
#include <vector>

class QLockFile;
class QTimer;
class QWidget;

namespace bopatron::ui {

// A file that an installed game's program folder holds: such a game never
// rewrites the table there, whoever runs it.
inline constexpr char kInstalledMarker[] = "bopatron.installed";

class QtHost : public runtime::Host {
public:
    QtHost(QWidget& window, QTimer& clock, QString programFolder);
    ~QtHost() override;

    void setClockEnabled(bool enabled) override;
    void setPointer(std::int16_t code) override;
    std::string inputBox(const std::string& prompt,
                         const std::optional<std::string>& title) override;
    bool lastBoxCancelled() const override { return cancelled_; }
    void randomize() override;
    double rnd() override;
    std::string programFolder() override;
    // The program folder when the table there can be rewritten and the game
    // is not an installed one; otherwise the player's data folder, which
    // receives a copy of the program folder's table the first time.
    std::string scoresFolder() override;
    // Starts the file, unless the player muted the game.
    void playSoundAsync(const std::string& path) override;
    void messageBox(const std::string& text) override;
    // Said on stderr at once, and kept for the window to show.
    void reportDamage(const std::string& file, const std::string& effect) override;
    const std::vector<std::string>& damage() const { return damage_; }
    // The table is written with QSaveFile (flushed to the disk before it takes
    // the old file's place) and locked with a lock file beside it, which a
    // game that crashed leaves stale and another game takes over.
    std::string replaceTable(const std::string& path, std::string_view text) override;
    bool lockTable(const std::string& path) override;
    void unlockTable(const std::string& path) override;

    // The cues' player, made when first wanted: looking for a sound device
    // takes a while, and nothing is heard before the first frame.
    SoundPlayer& sounds();
    void setMuted(bool muted) { muted_ = muted; }
    bool muted() const { return muted_; }

private:
    std::string chooseScoresFolder();

    QWidget& window_;
    QTimer& clock_;
    QString folder_;
    runtime::RandomSource random_;
    std::unique_ptr<SoundPlayer> sounds_;
    bool muted_ = false;
    bool cancelled_ = false;
    std::string scoresFolder_;
    std::vector<std::string> damage_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace bopatron::ui
