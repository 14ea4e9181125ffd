// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A session of the game as a host drives it: every event that reaches
// Form1's handlers passes through here, so that it can be recorded as a demo,
// and every frame a tick presents is added to a running checksum.

#include "demo/demo_file.h"
#include "draw/pictures.h"
#include "draw/surface.h"
#include "game/form1.h"
#include "runtime/basic.h"
#include "runtime/host.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace bopatron::demo {

// The running checksum of the frames shown: FNV-1a over the frame's pixels,
// taken 64 bits at a time in four lanes that are folded at the end.
std::uint64_t frameChecksum(std::uint64_t running, const draw::Surface& frame);
// The running checksum with a cue started: FNV-1a over the cue's file name.
std::uint64_t cueChecksum(std::uint64_t running, std::string_view path);

// Writes a demo as it happens, one whole line at a time.
class Recorder {
public:
    // write receives each line with its line end; it should reach the disk at once,
    // so that a game killed mid-round leaves a demo up to its last event.
    explicit Recorder(std::function<void(const std::string&)> write);
    void add(const Event& event);

private:
    std::function<void(const std::string&)> write_;
};

// The host the game sees while a session is recorded: it passes everything
// to the real host and writes down what came from outside (the seed, each
// answer, each table read). Rnd comes from its own generator, seeded by it.
class RecordingHost : public runtime::Host {
public:
    RecordingHost(runtime::Host& real, Recorder& recorder) : real_(real), recorder_(recorder) {}

    void setClockEnabled(bool enabled) override { real_.setClockEnabled(enabled); }
    void setPointer(std::int16_t code) override { real_.setPointer(code); }
    std::string inputBox(const std::string& prompt, const std::optional<std::string>& title) override;
    void randomize() override;
    double rnd() override { return random_.next(); }
    std::string programFolder() override { return real_.programFolder(); }
    std::string scoresFolder() override { return real_.scoresFolder(); }
    void playSoundAsync(const std::string& path) override {
        if (onCue) onCue(path);
        real_.playSoundAsync(path);
    }
    void messageBox(const std::string& text) override { real_.messageBox(text); }
    void reportDamage(const std::string& file, const std::string& effect) override {
        real_.reportDamage(file, effect);
    }
    bool lastBoxCancelled() const override { return real_.lastBoxCancelled(); }
    runtime::FileText readTable(const std::string& path, std::size_t limit) override;
    std::string replaceTable(const std::string& path, std::string_view text) override {
        return real_.replaceTable(path, text);
    }
    bool lockTable(const std::string& path) override { return real_.lockTable(path); }
    void unlockTable(const std::string& path) override { real_.unlockTable(path); }

    // A seed to use in place of the clock's (a bot's sessions are the same each time).
    std::optional<std::uint64_t> fixedSeed;
    // Sees each cue the game starts (the session adds it to its checksum).
    std::function<void(const std::string& path)> onCue;
    // Told each time the high-score step reads the table.
    std::function<void()> onTable;

private:
    runtime::Host& real_;
    Recorder& recorder_;
    runtime::RandomSource random_;
};

// Feeds the game what a demo recorded, as its host: the seed, the answers and
// the tables come from the demo; nothing is read, written or asked. A host to
// show the replay on (the window) may receive the pointer, the cues and the boxes.
class ReplayHost : public runtime::Host {
public:
    // The demo does not match the game: the game asked for something else
    // than the demo holds next.
    struct Mismatch : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    ReplayHost(const Demo& demo, std::string programFolder, runtime::Host* shown = nullptr)
        : demo_(demo), folder_(std::move(programFolder)), shown_(shown) {}

    // The next event of the demo, or null at its end; advances past it.
    const Event* next();
    // The next event without advancing, or null at the end.
    const Event* peek() const;
    // Shows a box with the answer the demo holds (for a window that plays the
    // demo); the default shows nothing.
    std::function<void(const std::string& prompt, const std::optional<std::string>& title,
                       const std::string& answer, bool cancelled)>
        showBox;

    void setClockEnabled(bool) override {}
    void setPointer(std::int16_t code) override {
        if (shown_) shown_->setPointer(code);
    }
    std::string inputBox(const std::string& prompt, const std::optional<std::string>& title) override;
    void randomize() override;
    double rnd() override { return random_.next(); }
    std::string programFolder() override { return folder_; }
    void playSoundAsync(const std::string& path) override {
        if (onCue) onCue(path);
        if (shown_) shown_->playSoundAsync(path);
    }
    // Sees each cue the game starts (the session adds it to its checksum).
    std::function<void(const std::string& path)> onCue;
    void messageBox(const std::string& text) override {
        if (shown_) shown_->messageBox(text);
    }
    void reportDamage(const std::string& file, const std::string& effect) override {
        if (shown_) shown_->reportDamage(file, effect);
    }
    bool lastBoxCancelled() const override { return cancelled_; }
    runtime::FileText readTable(const std::string& path, std::size_t limit) override;
    std::string replaceTable(const std::string&, std::string_view) override { return {}; }
    bool lockTable(const std::string&) override { return true; }

private:
    const Event& expect(Event::Kind kind, Event::Kind alternative, const char* what);

    const Demo& demo_;
    std::size_t at_ = 0;
    std::string folder_;
    runtime::Host* shown_;
    runtime::RandomSource random_;
    bool cancelled_ = false;
};

// Drives Form1 for a host: each call runs one handler, records it when a
// recorder is given, and keeps the ticks played and a running checksum of
// every frame presented and every cue started, in order.
class Session {
public:
    // Without checksums (a session neither recorded nor replayed) no frame is
    // read after its tick.
    Session(game::Form1& form, draw::Surfaces& surfaces, Recorder* recorder = nullptr, bool checksums = true)
        : form_(form), surfaces_(surfaces), recorder_(recorder), checksums_(checksums) {}

    void load() { form_.Form_Load(); }
    void click();
    void mouseMove(std::int16_t button, std::int16_t shift, float x, float y);
    void mouseDown(std::int16_t button, std::int16_t shift, float x, float y);
    void mouseUp(std::int16_t button, std::int16_t shift, float x, float y);
    void tick();
    // A cue the game started, which the checksum takes in.
    void cueStarted(const std::string& path) {
        if (checksums_) checksum_ = cueChecksum(checksum_, path);
    }
    // Writes the closing line: the ticks played, the score and the checksum.
    void close();

    long ticksPlayed() const { return ticks_; }
    std::uint64_t checksum() const { return checksum_; }
    std::int16_t score() const { return form_.state().score; }
    // The checkpoint or closing line of this moment.
    Event summary(Event::Kind kind) const;

private:
    void record(Event event);
    void mouse(Event::Kind kind, std::int16_t button, std::int16_t shift, float x, float y);

    game::Form1& form_;
    draw::Surfaces& surfaces_;
    Recorder* recorder_;
    bool checksums_;
    long ticks_ = 0;
    std::uint64_t checksum_ = 0xcbf29ce484222325u;  // FNV-1a's offset basis
};

// What playing a demo to its end found.
struct Outcome {
    long ticks = 0;
    std::int16_t score = 0;
    std::uint64_t checksum = 0;
    std::string difference;  // the first checkpoint or closing line that differs; "" when all match
    bool closed = false;     // the demo has its closing line
};

// Plays the demo's events through a session whose game sees the replay host,
// until the end of the demo, or, with stopAfterTick, just after the next tick,
// or just before an event for which stopBefore says so. Returns false when the
// demo has no more events. Checkpoints are compared as they come; a Mismatch
// is thrown when the demo and the game part ways.
bool playEvents(ReplayHost& host, Session& session, Outcome& outcome, bool stopAfterTick,
                const std::function<bool(const Event&)>& stopBefore = {});

// The line --timedemo prints.
std::string timedemoLine(const Outcome& outcome, double milliseconds);

// Plays a whole demo as fast as it goes on surfaces that hold the pictures,
// with nothing shown or heard. status is 0 when every checkpoint and the
// closing line match, 1 when they differ; detail says the first difference,
// or that the demo ended early.
struct Timedemo {
    int status = 0;
    std::string line;
    std::string detail;
};
Timedemo runTimedemo(const Demo& demo, draw::Surfaces& surfaces, const std::string& programFolder);

// What every host's timedemo does: reads the demo file, loads the pictures
// from the program folder with the host's decoder, plays it, and prints the
// timedemo line (and the first difference) on out, or the one-line error on
// err. Returns the exit status: 0, 1, or 2 for a file that cannot be used.
int timedemoMain(const std::string& path, const std::string& programFolder, const draw::PictureDecoder& decode,
                 std::FILE* out, std::FILE* err);

}  // namespace bopatron::demo
