// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "demo/replay_host.h"

namespace bopatron::demo {

using Kind = Event::Kind;

const Event* ReplayHost::peek() const { return at_ < demo_.events.size() ? &demo_.events[at_] : nullptr; }

const Event* ReplayHost::next() { return at_ < demo_.events.size() ? &demo_.events[at_++] : nullptr; }

const Event& ReplayHost::expect(Kind kind, Kind alternative, const char* what) {
    const Event* event = at_ < demo_.events.size() ? &demo_.events[at_] : nullptr;
    if (event == nullptr) throw Mismatch(std::string("the game asked for ") + what + " after the demo's last event");
    if (event->kind != kind && event->kind != alternative) {
        throw Mismatch("line " + std::to_string(event->line) + ": the game asked for " + what + ", the demo holds '" +
                       formatEvent(*event).substr(0, 40) + "'");
    }
    ++at_;
    return *event;
}

std::string ReplayHost::inputBox(const std::string& prompt, const std::optional<std::string>& title) {
    const Event& event = expect(Kind::Answer, Kind::Cancel, "an answer");
    cancelled_ = event.kind == Kind::Cancel;
    const std::string answer = cancelled_ ? std::string() : event.text;
    if (showBox) showBox(prompt, title, answer, cancelled_);
    return answer;
}

void ReplayHost::randomize() { random_.seed(expect(Kind::Seed, Kind::Seed, "the seed").value); }

runtime::FileText ReplayHost::readTable(const std::string&, std::size_t) {
    const Event& event = expect(Kind::Table, Kind::Table, "the high-score table");
    if (event.table == runtime::FileText::Status::Unreadable) return {event.table, {}, event.text};
    return {event.table, event.text, {}};
}

}  // namespace bopatron::demo
