// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "demo/timedemo.h"

#include "demo/wired_game.h"

#include <chrono>

namespace bopatron::demo {

std::string timedemoLine(const Outcome& outcome, double milliseconds) {
    // Written by hand, so that no locale turns the point into a comma.
    const auto tenths = static_cast<long long>(milliseconds * 10 + 0.5);
    char checksum[17];
    std::snprintf(checksum, sizeof checksum, "%016llx", static_cast<unsigned long long>(outcome.checksum));
    // Each round's score as the window showed it and the table placed it, after
    // the closing score (which the rats' last step can have lowered).
    std::string rounds;
    for (const std::int16_t score : outcome.roundScores) rounds += (rounds.empty() ? "" : ",") + std::to_string(score);
    return "timedemo: ticks=" + std::to_string(outcome.ticks) + " score=" + std::to_string(outcome.score) +
           " frames=" + checksum + " ms=" + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) +
           " round-scores=" + (rounds.empty() ? "none" : rounds);
}

Timedemo runTimedemo(const Demo& demo, draw::Surfaces& surfaces, const std::string& programFolder) {
    ReplayHost host(demo, programFolder);
    WiredGame game(host, surfaces);
    Session& session = game.session;
    Outcome outcome;
    Timedemo result;
    const auto start = std::chrono::steady_clock::now();
    try {
        session.load();
        playEvents(host, session, outcome, false);
    } catch (const std::exception& error) {
        // A demo the game parts ways with, or one that ends the game with an error.
        outcome.difference = error.what();
        outcome.ticks = session.ticksPlayed();
        outcome.score = session.score();
        outcome.checksum = session.checksum();
        outcome.roundScores = session.roundScores();
    }
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    result.line = timedemoLine(outcome, spent.count());
    if (!outcome.difference.empty()) {
        result.status = 1;
        result.detail = "differs: " + outcome.difference;
    } else if (!outcome.closed) {
        result.detail = demo.endedEarly ? "the demo ended early, in the middle of a line"
                                        : "the demo ended early, without its closing line";
    }
    return result;
}

int timedemoMain(const std::string& path, const std::string& programFolder, const draw::PictureDecoder& decode,
                 std::FILE* out, std::FILE* err) {
    const Demo demo = readDemo(path);
    if (!demo.error.empty()) {
        std::fprintf(err, "bopatron: %s\n", demo.error.c_str());
        return 2;
    }
    draw::Surfaces surfaces;
    ReplayHost quiet(demo, programFolder);  // a missing picture shows in the checksum
    draw::loadPictures(surfaces, quiet, programFolder, decode);
    const Timedemo result = runTimedemo(demo, surfaces, programFolder);
    std::fprintf(out, "%s\n", result.line.c_str());
    if (!result.detail.empty()) std::fprintf(out, "timedemo: %s\n", result.detail.c_str());
    return result.status;
}

}  // namespace bopatron::demo
