// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Timedemo: a whole demo played as fast as it goes, with nothing shown or
// heard, and the line every host's --timedemo prints.

#include "demo/demo_file.h"
#include "demo/session.h"
#include "draw/pictures.h"
#include "draw/surface.h"

#include <cstdio>
#include <string>

namespace bopatron::demo {

// The line --timedemo prints.
std::string timedemoLine(const Outcome& outcome, double milliseconds);

// Plays a whole demo as fast as it goes on surfaces that hold the pictures,
// with nothing shown or heard. status is 0 when every checkpoint and the
// closing line match, 1 when they differ; detail says the first difference,
// or that the demo ended early.
struct Timedemo {
    int status = 0;
    std::string line;
    std::string detail;
};
Timedemo runTimedemo(const Demo& demo, draw::Surfaces& surfaces, const std::string& programFolder);

// What every host's timedemo does: reads the demo file, loads the pictures
// from the program folder with the host's decoder, plays it, and prints the
// timedemo line (and the first difference) on out, or the one-line error on
// err. Returns the exit status: 0, 1, or 2 for a file that cannot be used.
int timedemoMain(const std::string& path, const std::string& programFolder, const draw::PictureDecoder& decode,
                 std::FILE* out, std::FILE* err);

}  // namespace bopatron::demo
