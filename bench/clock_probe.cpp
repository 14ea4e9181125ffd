// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The machine's own timer jitter, for comparing with the game's ticks: sleeps
// to 1000 deadlines 20 ms apart and reports the longest period between wake-ups.
// Usage: bopatron_clock_probe (run it alone, then beside bench/round_timing.sh).

#include <chrono>
#include <cstdio>
#include <thread>

int main() {
    using Clock = std::chrono::steady_clock;
    constexpr auto kPeriod = std::chrono::milliseconds(20);
    auto deadline = Clock::now();
    auto last = deadline;
    double longest = 0;
    int over = 0;
    for (int i = 0; i < 1000; ++i) {
        deadline += kPeriod;
        std::this_thread::sleep_until(deadline);
        const auto now = Clock::now();
        const double period = std::chrono::duration<double, std::milli>(now - last).count();
        last = now;
        if (period > longest) longest = period;
        if (period > 25) ++over;
    }
    std::printf("longest period %.3f ms, %d periods over 25 ms\n", longest, over);
    return 0;
}
