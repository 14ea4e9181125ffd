// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Recording a session: the recorder writes each event as its line, and the
// recording host stands between the game and the real host, writing down
// everything that came from outside.

#include "demo/demo_file.h"
#include "runtime/basic.h"
#include "runtime/host.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace bopatron::demo {

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
    // Mixes a world table's round value into the generator (Session::roundValue records it).
    void foldRandom(std::uint64_t value) { random_.fold(value); }
    // The generator as it stands (a bot that knows the round in advance copies it).
    const runtime::RandomSource& random() const { return random_; }
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

}  // namespace bopatron::demo
