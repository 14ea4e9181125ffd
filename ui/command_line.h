// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The program's command line: no argument plays as the original did; the
// options choose a larger picture, fullscreen or silence for this run only.

#include <optional>
#include <string>
#include <vector>

namespace bopatron::ui {

inline constexpr char kVersion[] = "1.00";
inline constexpr int kScaleAuto = 0;  // --scale=auto: as large as fits the screen

struct CommandLine {
    enum class Action { Play, PrintAndExit, Fail };
    Action action = Action::Play;
    std::string text;  // what to print: on stdout for PrintAndExit, on stderr for Fail
    // Choices for this run; unset ones come from the player's settings.
    std::optional<int> scale;  // 1 to kMaxScale, or kScaleAuto
    std::optional<bool> fullscreen;
    std::optional<bool> mute;
    // Demos: record this session, show one, or time one; each is a file's path.
    std::string record;
    std::string play;
    std::string timedemo;
    // A world table to send the session to (an http:// or https:// address).
    std::string world;
};

// Reads the arguments that follow the program's name.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The scale to start at: the option's as given (auto: the largest that fits),
// else the remembered one, reduced to what fits: a screen may have shrunk since.
int startScale(std::optional<int> option, int remembered, int fits);

}  // namespace bopatron::ui
