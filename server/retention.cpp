// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/retention.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace bopatron::server {

Purger::Purger(Store& store, Retention retention, std::function<std::int64_t()> nowMs,
               std::function<void(const std::string&)> log)
    : store_(store), retention_(retention), nowMs_(std::move(nowMs)), log_(std::move(log)),
      thread_([this](std::stop_token stop) { run(stop); }) {}

void Purger::run(std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any wake;
    long purged = 0;
    while (!stop.stop_requested()) {
        int took = 0;
        try {
            took = store_.purge(retention_.idleBeforeMs(nowMs_()), kStep);
        } catch (const std::exception& e) {
            log_(std::string("retention: ") + e.what() + "; trying again in a minute");
        }
        purged += took;
        if (took < kStep && purged > 0) {
            log_("retention: " + std::to_string(purged) + " sessions idle past their time purged");
            purged = 0;
        }
        std::unique_lock lock(mutex);
        wake.wait_for(lock, stop, took == kStep ? std::chrono::milliseconds(100) : std::chrono::milliseconds(60000),
                      [] { return false; });
    }
}

}  // namespace bopatron::server
