// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "demo/recording_host.h"

namespace bopatron::demo {

using Kind = Event::Kind;

Recorder::Recorder(std::function<void(const std::string&)> write) : write_(std::move(write)) {
    write_(std::string(kFirstLine) + "\n");
}

void Recorder::add(const Event& event) { write_(formatEvent(event) + "\n"); }

std::string RecordingHost::inputBox(const std::string& prompt, const std::optional<std::string>& title) {
    std::string answer = real_.inputBox(prompt, title);
    Event event;
    event.kind = real_.lastBoxCancelled() ? Kind::Cancel : Kind::Answer;
    event.text = answer;
    recorder_.add(event);
    return answer;
}

void RecordingHost::randomize() {
    Event event;
    event.kind = Kind::Seed;
    if (fixedSeed) {
        random_.seed(*fixedSeed);
        event.value = *fixedSeed;
    } else {
        event.value = random_.seedFromClock();
    }
    recorder_.add(event);
}

runtime::FileText RecordingHost::readTable(const std::string& path, std::size_t limit) {
    if (onTable) onTable();
    runtime::FileText read = real_.readTable(path, limit);
    Event event;
    event.kind = Kind::Table;
    event.table = read.status;
    event.text = read.status == runtime::FileText::Status::Unreadable ? read.error : read.text;
    recorder_.add(event);
    return read;
}

}  // namespace bopatron::demo
