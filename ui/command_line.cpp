// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/command_line.h"

#include "ui/field_view.h"

#include <algorithm>
#include <charconv>

namespace bopatron::ui {

namespace {

constexpr char kUsage[] =
    "Usage: bopatron [--scale=N|auto] [--fullscreen] [--mute] [--record=FILE | --play=FILE] [--world=URL]\n"
    "       bopatron --timedemo=FILE | --help | --version\n";
constexpr char kHelp[] =
    "Bopatron: whack the rats that pop out of nine holes.\n"
    "With no option the game starts as it always was: a 437 x 284 window, sound on.\n"
    "\n"
    "  --scale=N       show every pixel N x N, N from 1 to 8 (keys: Ctrl+Plus, Ctrl+Minus, Ctrl+0)\n"
    "  --scale=auto    the largest scale whose window fits the screen\n"
    "  --fullscreen    fill the screen, the field as large as fits (keys: F11, Alt+Return)\n"
    "  --mute          play no sound (key: Ctrl+M)\n"
    "  --record=FILE   record this session as a demo in FILE, from start-up to exit\n"
    "  --play=FILE     show the demo in FILE at the game's pace; mouse and button do nothing\n"
    "  --timedemo=FILE play the demo in FILE as fast as possible, with no window and no sound,\n"
    "                  and print 'timedemo: ticks=N score=S frames=CHECKSUM ms=T round-scores=R,...':\n"
    "                  S the score at the end, R each round's score as shown and placed; exit status\n"
    "                  0 when it matches its recorded checkpoints, 1 when not, 2 when unusable\n"
    "  --world=URL     send this session to the world table at URL, which plays every round\n"
    "                  again before it ranks it; its verdicts show in the title bar\n"
    "  --help          print this help and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "A choice made with a key is remembered for the next start; an option counts for one run.\n";

std::optional<int> scaleFrom(const std::string& value) {
    if (value == "auto") return kScaleAuto;
    int n = 0;
    const char* end = value.data() + value.size();
    const auto [last, error] = std::from_chars(value.data(), end, n);
    if (error != std::errc() || last != end || n < 1 || n > kMaxScale) return std::nullopt;
    return n;
}

// The demo option (or --world) an argument names, filled in with its file; null for any other argument.
const std::string* demoOption(const std::string& argument, CommandLine& command) {
    for (auto [name, file] : {std::pair{"--record=", &command.record}, std::pair{"--play=", &command.play},
                              std::pair{"--timedemo=", &command.timedemo}, std::pair{"--world=", &command.world}}) {
        if (argument.rfind(name, 0) == 0) {
            *file = argument.substr(std::string_view(name).size());
            return file;
        }
    }
    return nullptr;
}

CommandLine failure(const std::string& why) {
    CommandLine command;
    command.action = CommandLine::Action::Fail;
    command.text = "bopatron: " + why + "\n" + kUsage;
    return command;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    // --help and --version stand alone: anything beside one has no place.
    const auto asks = [](const std::string& a) { return a == "--help" || a == "--version"; };
    const auto ask = std::find_if(arguments.begin(), arguments.end(), asks);
    if (ask != arguments.end()) {
        if (arguments.size() > 1) {
            return failure("unexpected argument '" + arguments[ask == arguments.begin() ? 1 : 0] + "'");
        }
        const std::string text = *ask == "--help" ? std::string(kUsage) + kHelp
                                                  : std::string("Bopatron ") + kVersion + "\n";
        CommandLine command;
        command.action = CommandLine::Action::PrintAndExit;
        command.text = text;
        return command;
    }
    CommandLine command;
    for (const std::string& argument : arguments) {
        if (argument.rfind("--scale=", 0) == 0) {
            command.scale = scaleFrom(argument.substr(8));
            if (!command.scale) {
                return failure("bad value in '" + argument + "': the scale is a whole number from 1 to " +
                               std::to_string(kMaxScale) + ", or auto");
            }
        } else if (argument == "--fullscreen") {
            command.fullscreen = true;
        } else if (argument == "--mute") {
            command.mute = true;
        } else if (const std::string* file = demoOption(argument, command)) {
            if (file->empty()) return failure("'" + argument + "' needs a file: " + argument + "FILE");
        } else {
            return failure("unexpected argument '" + argument + "'");
        }
    }
    // --timedemo shows nothing, so nothing else applies; a demo being shown is not recorded.
    for (const std::string& argument : arguments) {
        if (!command.timedemo.empty() && argument.rfind("--timedemo=", 0) != 0) {
            return failure("'" + argument + "' cannot be used with --timedemo, which shows nothing");
        }
        if (!command.record.empty() && argument.rfind("--play=", 0) == 0) {
            return failure("'" + argument + "' cannot be used with --record");
        }
        if (!command.play.empty() && argument.rfind("--world=", 0) == 0) {
            return failure("'" + argument + "' cannot be used with --play: a demo shown is not sent");
        }
    }
    if (!command.world.empty()) {
        const std::string& w = command.world;
        const std::size_t host = w.rfind("https://", 0) == 0 ? 8 : w.rfind("http://", 0) == 0 ? 7 : 0;
        if (host == 0 || w.size() == host || w[host] == '/')
            return failure("bad value in '--world=" + w + "': the world table is an http:// or https:// address");
    }
    return command;
}

int startScale(std::optional<int> option, int remembered, int fits) {
    if (!option) return std::min(remembered, fits);
    return *option == kScaleAuto ? fits : *option;
}

}  // namespace bopatron::ui
