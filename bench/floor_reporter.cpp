// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "bench/floor_reporter.h"

#include <cstdio>

namespace bopatron::bench {

void FloorReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.error_occurred || run.iterations == 0) continue;
        // With repetitions only the mean stands for the benchmark.
        const bool plain = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
        const bool mean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
        if (!plain && !mean) continue;
        const double micros = run.real_accumulated_time * 1e6 / static_cast<double>(run.iterations);
        results_.push_back({run.run_name.str(), micros});
    }
}

const FloorReporter::Result* FloorReporter::find(const std::string& name) const {
    for (const Result& result : results_) {
        if (result.name == name) return &result;
    }
    return nullptr;
}

void FloorReporter::Finalize() {
    ConsoleReporter::Finalize();
    const Result* floor = find(kFloorName);
    std::printf("\n%-40s %12s %10s\n", "benchmark", "us", "x floor");
    for (const Result& result : results_) {
        if (floor && floor->micros > 0) {
            std::printf("%-40s %12.3f %10.2f\n", result.name.c_str(), result.micros,
                        result.micros / floor->micros);
        } else {
            std::printf("%-40s %12.3f %10s\n", result.name.c_str(), result.micros, "-");
        }
    }

    std::printf("\n");
    if (const Result* tick = find(kTickName)) {
        const double share = tick->micros / kTickPeriodMicros;
        std::printf("target: a whole tick under %.0f %% of %.0f ms: %.3f %% -> %s\n", kTickBudget * 100,
                    kTickPeriodMicros / 1000, share * 100, share < kTickBudget ? "met" : "MISSED");
    }
    if (const Result* compositing = find(kCompositingName); compositing && floor && floor->micros > 0) {
        const double ratio = compositing->micros / floor->micros;
        std::printf("target: a tick's compositing within %.0f x the floor: %.2f x -> %s\n",
                    kCompositingBudget, ratio, ratio <= kCompositingBudget ? "met" : "MISSED");
    }
    if (const Result* one = find(kPresentOneName); one && one->micros > 0) {
        std::printf("\n%-40s %12s %10s\n", "tick and present", "us", "x 1x");
        for (const Result& result : results_) {
            if (result.name.rfind(kPresentPrefix, 0) != 0) continue;
            std::printf("%-40s %12.1f %10.2f\n", result.name.c_str(), result.micros, result.micros / one->micros);
        }
    }
    if (const Result* largest = find(kPresentLargestName)) {
        std::printf("target: a tick with its present at 3840 x 2160 under %.0f us: %.1f us -> %s\n",
                    kPresentLargestBudgetMicros, largest->micros,
                    largest->micros < kPresentLargestBudgetMicros ? "met" : "MISSED");
    }
    std::fflush(stdout);
}

}  // namespace bopatron::bench
