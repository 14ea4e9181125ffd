// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A host for tests: Rnd and input-box answers come from scripts, and every
// prompt, title, cue, clock change and pointer change is recorded in order.

#include "runtime/host.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace bopatron::testing {

class FakeHost : public runtime::Host {
public:
    explicit FakeHost(std::string folder = "/game") : folder_(std::move(folder)) {}

    // Script: the next draws of Rnd, in order.
    void draws(std::initializer_list<double> values);
    // Script: the next answers typed into input boxes.
    void answers(std::initializer_list<std::string> values);

    // Draws and answers scripted but not used yet.
    std::size_t unusedDraws() const { return draws_.size(); }
    std::size_t unusedAnswers() const { return answers_.size(); }

    // The record: "clock on", "clock off", "pointer 99", "randomize",
    // "input <prompt>|<title>" (no title: "input <prompt>"), "cue <name>"
    // (the path with the program folder taken off), "message <text>".
    const std::vector<std::string>& events() const { return events_; }
    std::vector<std::string> takeEvents();
    // Only the cue events, as cue names.
    std::vector<std::string> cues() const;

    void setClockEnabled(bool enabled) override;
    void setPointer(std::int16_t code) override;
    std::string inputBox(const std::string& prompt,
                         const std::optional<std::string>& title) override;
    void randomize() override;
    double rnd() override;
    std::string programFolder() override { return folder_; }
    void playSoundAsync(const std::string& path) override;
    void messageBox(const std::string& text) override;

    // Runs while an input box is open: another game may write meanwhile.
    std::function<void()> whileAsking;

    bool clockEnabled = false;
    std::int16_t pointer = -1;

private:
    std::string folder_;
    std::deque<double> draws_;
    std::deque<std::string> answers_;
    std::vector<std::string> events_;
};

}  // namespace bopatron::testing
