// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The host interface: everything the game asks of the platform it runs on.
// ui/ implements it with Qt, web/ over the browser, headless/ and the demo
// replays with what a demo recorded; the tests fake it.

#include "runtime/files.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace bopatron::runtime {

// Pointer codes of the window.
inline constexpr int16_t kPointerDefault = 0;
inline constexpr int16_t kPointerCustom = 99;  // the invisible custom pointer

class Host {
public:
    virtual ~Host() = default;

    // Enables or disables the 20 ms game clock.
    virtual void setClockEnabled(bool enabled) = 0;
    // Sets the window's pointer code: kPointerDefault or kPointerCustom.
    virtual void setPointer(int16_t code) = 0;
    // Shows a modal input box and returns the typed text, "" when cancelled.
    virtual std::string inputBox(const std::string& prompt,
                                 const std::optional<std::string>& title) = 0;
    // Whether the last input box was cancelled rather than answered; both
    // give the game "", but a demo tells them apart.
    virtual bool lastBoxCancelled() const { return false; }
    // Seeds the random number generator from the clock.
    virtual void randomize() = 0;
    // Draws the next random number, uniform in [0, 1).
    virtual double rnd() = 0;
    // The running program's folder, without a trailing separator except at a root.
    virtual std::string programFolder() = 0;
    // The folder that keeps the high-score table: the program folder, unless
    // the host keeps it elsewhere (an installed game keeps one per player).
    virtual std::string scoresFolder() { return programFolder(); }
    // Starts playing a sound file and returns at once; failures are not reported.
    virtual void playSoundAsync(const std::string& path) = 0;
    // Tells the player about a failure the game survives (a refused write).
    virtual void messageBox(const std::string& text) = 0;
    // A file the game needs is missing or damaged; effect says what the player
    // will see. The game goes on. By default a line on stderr; a host may
    // also tell the player in the window.
    virtual void reportDamage(const std::string& file, const std::string& effect) {
        std::fprintf(stderr, "bopatron: %s %s\n", file.c_str(), effect.c_str());
    }

    // The high-score table's file: read (at most limit bytes), replaced in one
    // step, and locked while one game reads and rewrites it. By default plain
    // files and no lock: a host whose platform runs two games at once, or keeps
    // data elsewhere, provides its own.
    virtual FileText readTable(const std::string& path, std::size_t limit) { return readFile(path, limit); }
    virtual std::string replaceTable(const std::string& path, std::string_view text) {
        return replaceFile(path, text);
    }
    // Returns whether the lock is held; the game goes on without it rather than lose a score.
    virtual bool lockTable(const std::string& /*path*/) { return true; }
    virtual void unlockTable(const std::string& /*path*/) {}
};

}  // namespace bopatron::runtime
