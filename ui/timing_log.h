// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A record of when things happen, for measuring the clock of a real round.
// Off unless the environment variable BOPATRON_TIMING_LOG names a file; then
// each event is one line "<event> <steady-clock nanoseconds>", for example
// "answer 81234567890"; a tick's line holds its number and when it began and
// ended: "tick 1000 101234000000 101234067890".

#include <cstdint>
#include <fstream>

namespace bopatron::ui {

inline constexpr char kTimingLogVariable[] = "BOPATRON_TIMING_LOG";

class TimingLog {
public:
    // The process's one log, opened on first use.
    static TimingLog& instance();

    bool enabled() const { return out_.is_open(); }
    void note(const char* event);
    // When an event begins: the clock is read only while the log is on.
    std::int64_t start() const { return enabled() ? now() : 0; }
    // An event that began at start and ends now.
    void noteSpan(const char* event, long long number, std::int64_t start);

private:
    TimingLog();
    static std::int64_t now();

    std::ofstream out_;
};

}  // namespace bopatron::ui
