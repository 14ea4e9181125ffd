#include "ui/command_line.h"

namespace bopatron::ui {

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    using Action = CommandLine::Action;
    if (arguments.empty()) return {};
    if (arguments.size() == 1 && arguments[0] == "--version") {
        return {Action::PrintAndExit, std::string("Bopatron ") + kVersion + "\n"};
    }
    if (arguments.size() == 1 && arguments[0] == "--help") {
        return {Action::PrintAndExit,
                "Usage: bopatron [--help | --version]  (with no argument, starts the game)\n"};
    }
    // Name the first argument that has no place: "--version extra" names "extra".
    const bool knownFirst = arguments[0] == "--version" || arguments[0] == "--help";
    const std::string& unexpected = arguments[knownFirst ? 1 : 0];
    return {Action::Fail,
            "bopatron: unexpected argument '" + unexpected + "'\nUsage: bopatron [--help | --version]\n"};
}

}  // namespace bopatron::ui
