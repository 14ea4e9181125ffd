#pragma once
// The program's command line: none to play, --help or --version to ask.

#include <string>
#include <vector>

namespace bopatron::ui {

inline constexpr char kVersion[] = "1.00";

struct CommandLine {
    enum class Action { Play, PrintAndExit, Fail };
    Action action = Action::Play;
    std::string text;  // what to print: on stdout for PrintAndExit, on stderr for Fail
};

// Reads the arguments that follow the program's name.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

}  // namespace bopatron::ui
