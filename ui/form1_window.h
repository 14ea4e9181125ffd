// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The main window Form1: the "New Game" button Command1, the game clock
// Timer1, the hidden picture surfaces, and the wiring of their events to the
// game's handlers.

#include "demo/session.h"
#include "demo/wired_game.h"
#include "draw/surface.h"
#include "game/form1.h"
#include "ui/field_view.h"
#include "ui/qt_host.h"

#include <QFont>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <memory>

class QPushButton;

namespace bopatron::ui {

inline constexpr char kTitle[] = "Bopatron";
inline constexpr char kNewGame[] = "New Game";
inline constexpr int kTickMs = game::kTickMs;

// A session to record or a demo to show instead of the player's own game.
struct DemoPlan {
    std::FILE* record = nullptr;         // every line of the session goes here as it happens
    const demo::Demo* play = nullptr;    // shown at the original pace; the player's input is ignored
    // The session is also streamed (to a world table): each line as it is
    // written, and the score of each high-score step; seed replaces the clock's.
    std::function<void(const std::string& line)> onLine;
    std::function<void(int score)> onTableStep;
    std::optional<std::uint64_t> seed;
    // A world table's round value: newGame on every press of "New Game", then asked for
    // when the press starts a round; done is called with the answer to the latest ask
    // only, and no tick runs while tickMayRun says no (at most a couple of seconds).
    std::function<void()> newGame;
    std::function<void(std::function<void(std::optional<std::uint64_t>)> done)> askRoundValue;
    std::function<bool()> tickMayRun;
    // Right before each tick: the part of the round's randomness to mix in before it, if any.
    std::function<std::optional<std::uint64_t>()> partBeforeTick;
};

class Form1Window : public QWidget {
public:
    explicit Form1Window(const QString& programFolder, DemoPlan plan = {}, QWidget* parent = nullptr);

    // Runs the load event. Returns false when it failed; the error has been shown.
    bool load();

    QPushButton* Command1() const { return command1_; }
    QTimer& Timer1() { return timer1_; }
    game::Form1& form() { return form_; }
    draw::Surfaces& surfaces() { return surfaces_; }
    // Between rounds with no box open: a box of the player's own may be shown.
    bool idle() const;
    // Ticks that arrived while a handler was still running and were dropped.
    long droppedTicks() const { return droppedTicks_; }
    // Ticks that ran Timer1_Timer.
    long ticksRun() const { return ticksRun_; }
    // Ends a recorded session with its closing line.
    void finishRecording() {
        if (recorder_) session_.close();
    }

    // The player's options, none of which the game's rules see. The window
    // shows every field pixel as a scale x scale block; in fullscreen the
    // field is as large as fits, centred.
    int scale() const { return scale_; }
    void setScale(int scale);
    void setFullscreen(bool on);
    void setMuted(bool muted) { host_.setMuted(muted); }
    bool muted() const { return host_.muted(); }
    long startedCues() { return host_.sounds().started(); }
    // Called with a settings key and its new value when the player changes an option with a key.
    std::function<void(const char* key, int value)> onPlayerChoice;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Runs one handler. While it runs (an input box may wait inside it) no
    // tick enters the game; an error of the run time is shown and ends the
    // program with a non-zero status.
    bool handle(const std::function<void()>& handler);
    void onTick();
    void fail(const char* message);
    // Places the field and the button for the window's size, scale and state.
    void layoutField();
    // Asks to show what changed on the window surface since it was last shown.
    void showChanges();
    void addShortcuts();
    // Plays the demo up to and including its next tick.
    void stepDemo();
    // Shows a box of the demo with its answer typed in, for a moment.
    void showDemoBox(const std::string& prompt, const std::optional<std::string>& title, const std::string& answer,
                     bool cancelled);

    draw::Surfaces surfaces_;
    QPushButton* command1_ = nullptr;
    QTimer timer1_;
    QtHost host_;
    std::unique_ptr<demo::Recorder> recorder_;
    std::unique_ptr<demo::ReplayHost> replay_;
    std::unique_ptr<demo::RecordingHost> recording_;
    demo::WiredGame game_;
    game::Form1& form_ = game_.form;
    demo::Session& session_ = game_.session;
    QTimer demoClock_;
    demo::Outcome demoOutcome_;
    bool cuesLoaded_ = false;
    int running_ = 0;
    bool failed_ = false;
    bool presented_ = false;  // the window surface holds a new frame to show
    long droppedTicks_ = 0;
    long ticksRun_ = 0;
    // The round's value being waited for (its ask's number), or 0: no tick runs meanwhile.
    DemoPlan plan_;  // a recorded session's world hooks
    int scale_ = 1;
    FieldView view_;
    QFont buttonFont_;
    QImage shown_;  // the window surface as last asked to be shown
};

}  // namespace bopatron::ui
