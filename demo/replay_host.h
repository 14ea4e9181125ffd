// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Replaying a demo: the replay host feeds the game what the demo recorded.

#include "demo/demo_file.h"
#include "runtime/basic.h"
#include "runtime/host.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace bopatron::demo {

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
    // A value line of the demo: mixed into the generator where it stands.
    void foldRandom(std::uint64_t value) { random_.fold(value); }
    // The generator and the last box's answer: what a replay continued later needs back.
    runtime::RandomSource& random() { return random_; }
    const runtime::RandomSource& random() const { return random_; }
    void setLastBoxCancelled(bool cancelled) { cancelled_ = cancelled; }
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

}  // namespace bopatron::demo
