#pragma once
// The host the game runs on when it runs in a real window: Qt's clock,
// pointer, input dialog and sound, the shared random generator and the
// program's folder.

#include "runtime/basic.h"
#include "runtime/host.h"
#include "ui/sound_player.h"

#include <QString>

class QTimer;
class QWidget;

namespace bopatron::ui {

class QtHost : public runtime::Host {
public:
    QtHost(QWidget& window, QTimer& clock, QString programFolder);

    void setClockEnabled(bool enabled) override;
    void setPointer(std::int16_t code) override;
    std::string inputBox(const std::string& prompt,
                         const std::optional<std::string>& title) override;
    void randomize() override;
    double rnd() override;
    std::string programFolder() override;
    // The program folder when it can be written; otherwise the player's data
    // folder, which receives a copy of the shipped table the first time.
    std::string scoresFolder() override;
    // Starts the file, unless the player muted the game.
    void playSoundAsync(const std::string& path) override;
    void messageBox(const std::string& text) override;

    SoundPlayer& sounds() { return sounds_; }
    void setMuted(bool muted) { muted_ = muted; }
    bool muted() const { return muted_; }

private:
    QWidget& window_;
    QTimer& clock_;
    QString folder_;
    runtime::RandomSource random_;
    SoundPlayer sounds_;
    bool muted_ = false;
};

}  // namespace bopatron::ui
