// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A golden demo as an honest client streams it: played at a pace, its lines
// handed to the game's own world client, which decides what goes in which
// batch, when, and with which claim. The world client's tests and the world
// table's share it.
#include "demo/demo_file.h"
#include "runtime/files.h"
#include "server/session_log.h"
#include "world/client.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace bopatron::server::testing_world {

inline constexpr std::int64_t kStart = 1796713200000;  // 2026-12-08T07:00:00Z, when each session begins
inline constexpr int kClaimed = 7;  // what the streamed client claims; ApiTest sends each test's own claims

inline std::string golden(const std::string& name) {
    return runtime::readFile(std::string(BOPATRON_DEMOS_DIR) + "/" + name, demo::kMostBytes).text;
}

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// How a client's stream reaches the table. The value of a round is issued
// when the client asks (half a second after "New Game", the box answered);
// tick k of the round is played k * msPerTick after that, and its batch
// arrives delay later (the value's way to the client and the batch's way
// back). pauseAt: the game stops pauseMs after that tick; holdAfter: the
// batches of later ticks are held back holdMs.
struct Pace {
    double msPerTick = 20;
    std::int64_t delay = 300;
    long pauseAt = -1;
    std::int64_t pauseMs = 0;
    long holdAfter = -1;
    std::int64_t holdMs = 0;
    std::vector<int> tableScores = {};  // told at each round's table step in turn; kClaimed for the rest
};
struct Sent {
    std::vector<std::string> lines;
    long first = 0;
    std::string path;            // as the client asked it
    std::int64_t sentMs = 0;     // the client's clock when it sent the batch
    std::int64_t arrivedMs = 0;
    int round = 0;  // the round the client claims with this batch, or 0
};
struct Stream {
    std::vector<Sent> batches;
    std::vector<IssuedValue> values;  // in the order they were issued
    world::Client client;             // as the stream left it
};

// The demo played at the pace given and streamed by the game's own world
// client: it decides what goes in which batch and when (about once a second,
// at once after a round's first and last ticks and with its close) and which
// round each claim names. The initials take 3 s to type. Every batch is
// answered at once, with answer's text when given.
inline Stream honestStream(const std::string& text, const Pace& pace = {},
                           const std::function<std::string(const std::string& path)>& answer = {}) {
    Stream out;
    world::Client& client = out.client;
    client.sessionAnswered({200, R"({"session": ")" + std::string(32, 'a') + R"(", "seed": "1"})"}, "the table");
    std::size_t tables = 0;
    std::int64_t clock = kStart + 1000;  // the client's clock when its latest line was written
    std::int64_t base = clock;           // when the current round's clock started
    long roundTicks = -1, sent = 0;
    bool held = false;
    std::string previous;
    const auto send = [&] {
        while (const auto r = client.due(clock)) {
            Sent b{{}, sent, r->path, clock};
            for (std::size_t at = 0; at < r->body.size(); at = r->body.find('\n', at) + 1)
                b.lines.push_back(r->body.substr(at, r->body.find('\n', at) - at));
            sent += static_cast<long>(b.lines.size());
            const std::size_t claim = r->path.find("&round=");
            if (claim != std::string::npos) b.round = std::stoi(r->path.substr(claim + 7));
            b.arrivedMs = std::max(clock + pace.delay + (held ? pace.holdMs : 0), out.batches.empty() ? 0 : out.batches.back().arrivedMs);
            out.batches.push_back(b);
            client.answered({200, answer ? answer(r->path) : R"({"lines": )" + std::to_string(sent) + "}"}, clock);
        }
    };
    for (const std::string& l : linesOf(text)) {
        if (l == "click") {
            roundTicks = 0;
            base = clock;
            held = false;
        } else if (l.rfind("value ", 0) == 0 && roundTicks <= 0) {  // later in a round, a value line is a part
            clock += 500;
            out.values.push_back({std::stoull(l.substr(6)), clock, ""});
            base = clock;
        } else if (l == "tick" && roundTicks >= 0) {
            ++roundTicks;
            clock = base + static_cast<std::int64_t>(roundTicks * pace.msPerTick) +
                    (pace.pauseAt >= 0 && roundTicks > pace.pauseAt ? pace.pauseMs : 0);
            held = held || (pace.holdAfter >= 0 && roundTicks > pace.holdAfter);
            if (roundTicks == 1000) roundTicks = -1;
        } else if (l.rfind("answer ", 0) == 0 && previous.rfind("table ", 0) == 0) {
            clock += 3000;  // the initials typed into the "Top 5" box
        }
        // The score the game placed, told at its table step (the value any claim names).
        if (l.rfind("table ", 0) == 0 && previous == "tick")
            client.tableStep(tables < pace.tableScores.size() ? pace.tableScores[tables++] : kClaimed);
        client.add(l + "\n");
        send();
        previous = l;
    }
    clock += 1000;
    send();
    return out;
}

}  // namespace bopatron::server::testing_world
