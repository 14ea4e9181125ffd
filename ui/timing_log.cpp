// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/timing_log.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace bopatron::ui {

TimingLog& TimingLog::instance() {
    static TimingLog log;
    return log;
}

TimingLog::TimingLog() {
    const char* path = std::getenv(kTimingLogVariable);
    if (path == nullptr || *path == '\0') return;
    out_.open(path, std::ios::out | std::ios::trunc);
    if (!out_) std::fprintf(stderr, "bopatron: cannot write the timing log %s\n", path);
}

std::int64_t TimingLog::now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TimingLog::note(const char* event) {
    // Each line is written at once, so the log can be read while the game runs.
    if (enabled()) out_ << event << ' ' << now() << std::endl;
}

void TimingLog::noteSpan(const char* event, long long number, std::int64_t start) {
    if (enabled()) out_ << event << ' ' << number << ' ' << start << ' ' << now() << std::endl;
}

}  // namespace bopatron::ui
