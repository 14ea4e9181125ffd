// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "tests/fake_host.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace bopatron::testing {

void FakeHost::draws(std::initializer_list<double> values) {
    draws_.insert(draws_.end(), values.begin(), values.end());
}

void FakeHost::answers(std::initializer_list<std::string> values) {
    answers_.insert(answers_.end(), values.begin(), values.end());
}

std::vector<std::string> FakeHost::takeEvents() {
    std::vector<std::string> taken;
    taken.swap(events_);
    return taken;
}

std::vector<std::string> FakeHost::cues() const {
    std::vector<std::string> list;
    for (const std::string& e : events_) {
        if (e.rfind("cue ", 0) == 0) list.push_back(e.substr(4));
    }
    return list;
}

void FakeHost::setClockEnabled(bool enabled) {
    clockEnabled = enabled;
    events_.push_back(enabled ? "clock on" : "clock off");
}

void FakeHost::setPointer(std::int16_t code) {
    pointer = code;
    events_.push_back("pointer " + std::to_string(code));
}

std::string FakeHost::inputBox(const std::string& prompt, const std::optional<std::string>& title) {
    events_.push_back("input " + prompt + (title ? "|" + *title : std::string()));
    if (whileAsking) whileAsking();
    if (answers_.empty()) {
        ADD_FAILURE() << "an input box opened with no answer scripted: " << prompt;
        return {};
    }
    std::string answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void FakeHost::randomize() { events_.push_back("randomize"); }

double FakeHost::rnd() {
    if (draws_.empty()) {
        ADD_FAILURE() << "Rnd drawn with no value scripted";
        throw std::logic_error("unscripted Rnd");
    }
    const double value = draws_.front();
    draws_.pop_front();
    return value;
}

void FakeHost::playSoundAsync(const std::string& path) {
    std::string name = path;
    if (name.rfind(folder_, 0) == 0) name = name.substr(folder_.size());
    if (!name.empty() && name.front() == '/') name.front() = '\\';
    events_.push_back("cue " + name);
}

void FakeHost::messageBox(const std::string& text) { events_.push_back("message " + text); }

}  // namespace bopatron::testing
