// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// bopatron-timedemo FILE: plays a demo as fast as it goes with no toolkit at
// all, and prints the same line and exits with the same status as
// `bopatron --timedemo=FILE`. The pictures are read from the program's own
// folder with libpng.
#include "demo/session.h"
#include "demo/timedemo.h"
#include "headless/png_pictures.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// The folder of the running program, which holds the pictures.
std::string programFolder(const char* argv0) {
    std::error_code error;
    const auto self = std::filesystem::canonical("/proc/self/exe", error);
    return (error ? std::filesystem::absolute(argv0) : self).parent_path().string();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "Usage: bopatron-timedemo FILE\n");
        return 2;
    }
    return bopatron::demo::timedemoMain(argv[1], programFolder(argv[0]), bopatron::headless::decodePng, stdout,
                                        stderr);
}
