// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Prints the usual benchmark table and then every result again in
// microseconds and as a multiple of the floor: one plain copy of the back
// buffer, which no tick can beat. The two targets of a tick are checked last.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace bopatron::bench {

inline constexpr char kFloorName[] = "Floor/memcpyBackBuffer";
inline constexpr char kTickName[] = "Tick/full";
inline constexpr char kCompositingName[] = "Tick/compositingOnly";
inline constexpr double kTickPeriodMicros = 20000.0;
inline constexpr double kTickBudget = 0.01;        // a tick may use 1 % of its period
inline constexpr double kCompositingBudget = 4.0;  // times the floor
inline constexpr char kPresentPrefix[] = "Present/";
inline constexpr char kPresentOneName[] = "Present/1x";
inline constexpr char kPresentLargestName[] = "Present/fullscreen 3840x2160";
inline constexpr double kPresentLargestBudgetMicros = 2000.0;  // a tick with its present at 3840 x 2160

class FloorReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    struct Result {
        std::string name;
        double micros;
    };
    const Result* find(const std::string& name) const;

    std::vector<Result> results_;
};

}  // namespace bopatron::bench
