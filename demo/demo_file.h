// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The demo file: one event a line, after a first line that names the format
// and its version. docs/DEMOS.md describes it for players and tool writers.

#include "runtime/files.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bopatron::demo {

inline constexpr char kFirstLine[] = "bopatron-demo 1";
inline constexpr long kCheckpointEvery = 100;  // ticks between two checkpoints
inline constexpr std::size_t kMostBytes = 64u << 20;

struct Event {
    enum class Kind { Seed, Click, Answer, Cancel, Move, Down, Up, Tick, Table, Checkpoint, End, Value };
    Kind kind = Kind::Tick;
    int line = 0;  // where it stands in the file, counting the first line as 1
    // Seed: the generator's seed. Value: a round's value, folded into the
    // generator. Checkpoint and End: the running checksum.
    std::uint64_t value = 0;
    // Answer: the typed text. Table: the file's text, or why it could not be read.
    std::string text;
    runtime::FileText::Status table = runtime::FileText::Status::Read;
    // Move, Down and Up: the button and shift codes and the field position.
    std::int16_t button = 0;
    std::int16_t shift = 0;
    float x = 0;
    float y = 0;
    // Checkpoint and End: ticks played so far and the score.
    long ticks = 0;
    std::int16_t score = 0;
};

// One event as its line, without the line end.
std::string formatEvent(const Event& event);

// A demo file read: its events, or why it cannot be used.
struct Demo {
    std::vector<Event> events;
    std::string error;       // empty when the file can be played
    bool endedEarly = false;  // the last line was cut in the middle
};

// Reads a demo's text. A malformed line or a value out of range makes the
// whole file unusable; its error names the line and what was expected. A
// last line with no line end was cut while it was written: it is left out.
Demo parseDemo(std::string_view text);
// Reads the events of a demo's middle, from the line numbered firstLine (2 or
// more) on: what follows a point where a replay stopped.
Demo parseEvents(std::string_view text, int firstLine);

// A demo's first lines (count of them, each ending in LF) closed as a demo is
// closed: by an end line that repeats the last of them when it is a checkpoint.
// A recording cut there, as a session's lines are cut to one of its rounds.
std::string demoThrough(std::string_view lines, long count);

// Reads a demo file from disk; errors name the file.
Demo readDemo(const std::string& path);

}  // namespace bopatron::demo
