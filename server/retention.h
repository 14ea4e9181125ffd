// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Retention: a session that holds no record is deleted, and of the others what no
// record needs, this long after their last line; one small step at a time.

#include "server/store.h"

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace bopatron::server {

struct Retention {
    static constexpr std::int64_t kDayMs = 86400000;
    double keepDays = 7;
    // Sessions whose last line came before this are past their time at nowMs.
    std::int64_t idleBeforeMs(std::int64_t nowMs) const {
        return nowMs - static_cast<std::int64_t>(keepDays * static_cast<double>(kDayMs));
    }
};

// Retention on a thread of its own: each step is one short transaction over a few
// sessions idle for days, so a batch waits at most for one step (and on PostgreSQL
// not even that: the step locks only those sessions' rows).
class Purger {
public:
    static constexpr int kStep = 20;
    Purger(Store& store, Retention retention, std::function<std::int64_t()> nowMs,
           std::function<void(const std::string&)> log);

private:
    void run(std::stop_token stop);
    Store& store_;
    Retention retention_;
    std::function<std::int64_t()> nowMs_;
    std::function<void(const std::string&)> log_;
    std::jthread thread_;
};

}  // namespace bopatron::server
