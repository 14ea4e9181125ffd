// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A host that never waits: every draw is 0 (no rat is attempted), every input
// box answers with a fixed text, and nothing is played or shown.

#include "runtime/host.h"

#include <string>
#include <utility>

namespace bopatron::bench {

class BenchHost : public runtime::Host {
public:
    explicit BenchHost(std::string folder, std::string answer = "ABC")
        : folder_(std::move(folder)), answer_(std::move(answer)) {}

    void setClockEnabled(bool) override {}
    void setPointer(int16_t) override {}
    std::string inputBox(const std::string&, const std::optional<std::string>&) override { return answer_; }
    void randomize() override {}
    double rnd() override { return 0.0; }
    std::string programFolder() override { return folder_; }
    void playSoundAsync(const std::string&) override {}
    void messageBox(const std::string& text) override { lastMessage = text; }

    std::string lastMessage;

private:
    std::string folder_;
    std::string answer_;
};

}  // namespace bopatron::bench
