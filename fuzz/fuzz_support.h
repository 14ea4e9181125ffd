#pragma once
// What the fuzz targets share: a host that answers nothing, a scratch folder
// of the process's own, whole-file writes and a check that stops the run.

#include "runtime/host.h"

#include <cstdint>
#include <string>

namespace bopatron::fuzz {

// A host with no clock, no sound and no answers; a message box is kept.
class QuietHost : public runtime::Host {
public:
    explicit QuietHost(std::string folder) : folder_(std::move(folder)) {}
    void setClockEnabled(bool) override {}
    void setPointer(std::int16_t) override {}
    std::string inputBox(const std::string&, const std::optional<std::string>&) override { return {}; }
    void randomize() override {}
    double rnd() override { return 0.0; }
    std::string programFolder() override { return folder_; }
    void playSoundAsync(const std::string&) override {}
    void messageBox(const std::string& text) override { message = text; }

    std::string message;

private:
    std::string folder_;
};

// A folder for this process's files, made on first use and removed at exit.
const std::string& scratchFolder();

// Replaces a file with exactly these bytes.
void writeWhole(const std::string& path, const std::string& bytes);

// Stops the run with the message when the condition does not hold, so that
// libFuzzer keeps the input.
void check(bool condition, const std::string& message);

}  // namespace bopatron::fuzz
