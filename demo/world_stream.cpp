// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "demo/world_stream.h"

#include "game/form1.h"

#include <algorithm>

namespace bopatron::demo {

void WorldStream::add(const std::string& line) {
    lines_.push_back(line);
    if (line == "click\n") {
        roundTicks_ = 0;  // "New Game" starts the count again, mid-round or not
    } else if (line == "tick\n" && roundTicks_ >= 0) {
        ++roundTicks_;
        if (roundTicks_ == 1 || roundTicks_ == game::kRoundTicks) urgent_ = true;
        if (roundTicks_ == game::kRoundTicks) closing_ = true;
    } else if (closing_ && line.rfind("checkpoint ", 0) == 0) {
        // The round's table, initials and closing checkpoint are all written now.
        closing_ = false;
        claims_.push_back({++ended_, tableScore_});
        urgent_ = true;
    }
}

WorldStream::Batch WorldStream::next() {
    Batch batch;
    batch.from = acked_;
    for (std::size_t i = static_cast<std::size_t>(acked_); i < lines_.size(); ++i) batch.text += lines_[i];
    batch.upTo = static_cast<long>(lines_.size());
    // A claim is queued once its round's close is written, so the batch holds it.
    if (!claims_.empty()) batch.claim = claims_.front();
    urgent_ = false;
    return batch;
}

void WorldStream::taken(const Batch& batch, long serverLines) {
    acked_ = std::clamp(serverLines, acked_, static_cast<long>(lines_.size()));
    if (batch.claim && !claims_.empty() && claims_.front().round == batch.claim->round) claims_.pop_front();
}

void WorldStream::expect(long line) { acked_ = std::clamp(line, 0L, static_cast<long>(lines_.size())); }

}  // namespace bopatron::demo
