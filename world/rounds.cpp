// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "world/rounds.h"

#include "game/form1.h"

#include <charconv>

namespace bopatron::world {

RoundTracker::Step RoundTracker::add(std::string_view line) {
    const long at = lines_++;
    if (line == "click") {
        // "New Game" starts the count again, mid-round or not.
        running_ = true;
        current_ = Round{};
        current_.clickLine = at;
        return Step::Click;
    }
    if (line.substr(0, 6) == "value " && running_ && current_.tickLines.empty()) {
        std::uint64_t value = 0;
        const auto [end, ec] = std::from_chars(line.data() + 6, line.data() + line.size(), value);
        if (ec == std::errc() && end == line.data() + line.size()) {
            current_.valueLine = at;
            current_.value = value;
            return Step::Value;
        }
        return Step::Other;
    }
    if (line == "tick" && running_) {
        current_.tickLines.push_back(at);
        if (current_.tickLines.size() == 1) {
            current_.firstTickLine = at;
            current_.ticksBefore = ticks_;
        }
        ++ticks_;
        if (current_.tickLines.size() < static_cast<std::size_t>(game::kRoundTicks))
            return current_.tickLines.size() == 1 ? Step::FirstTick : Step::Tick;
        current_.endLine = at;
        current_.number = static_cast<int>(ended_.size()) + 1;
        ended_.push_back(current_);
        running_ = false;
        return Step::LastTick;
    }
    if (line.substr(0, 11) == "checkpoint " && !ended_.empty() && ended_.back().closeLine < 0 &&
        !running_ && at > ended_.back().endLine) {
        // The round's table, its initials and its closing checkpoint are all written now.
        ended_.back().closeLine = at;
        return Step::Close;
    }
    return Step::Other;
}

}  // namespace bopatron::world
