// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// bopatron-timedemo FILE: plays a demo as fast as it goes with no toolkit at
// all, and prints the same line and exits with the same status as
// `bopatron --timedemo=FILE`. The pictures are read from the program's own
// folder with libpng.
#include "demo/session.h"
#include "demo/timedemo.h"
#include "image/png_decoder.h"
#include "image/program_folder.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char* argv[]) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "Usage: bopatron-timedemo FILE\n");
        return 2;
    }
    return bopatron::demo::timedemoMain(argv[1], bopatron::image::programFolder(argv[0]), bopatron::image::decodePng, stdout,
                                        stderr);
}
