// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// Start-up as a player sees it: from exec to the end of the first painted
// frame, for the game and for an empty Qt window, alternately, each run a new
// process on the display in DISPLAY. Prints the median of each and their ratio.
// Usage: startup_exec RUNS GAME EMPTY_WINDOW
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Milliseconds from exec to the end of the first paint the program logs; -1 when none in 10 s.
double firstFrame(const char* program) {
    const std::string log = "/tmp/bopatron-startup-" + std::to_string(getpid()) + ".log";
    std::remove(log.c_str());
    const std::int64_t start = now();
    const pid_t child = fork();
    if (child == 0) {
        setenv("BOPATRON_TIMING_LOG", log.c_str(), 1);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    double ms = -1;
    for (int i = 0; i < 2000 && ms < 0; ++i) {
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string event;
            long long number = 0, begun = 0, end = 0;
            if (fields >> event >> number >> begun >> end && event == "paint") {
                ms = static_cast<double>(end - start) / 1e6;
                break;
            }
        }
        if (ms < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    std::remove(log.c_str());
    return ms;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: startup_exec RUNS GAME EMPTY_WINDOW\n");
        return 2;
    }
    std::vector<double> game, empty;
    for (int i = 0; i < std::atoi(argv[1]); ++i) {
        game.push_back(firstFrame(argv[2]));
        empty.push_back(firstFrame(argv[3]));
    }
    std::printf("exec to first painted frame, median of %zu: game %.1f ms, empty Qt window %.1f ms, ratio %.2f\n",
                game.size(), median(game), median(empty), median(game) / median(empty));
    return 0;
}
