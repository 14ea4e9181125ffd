// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Scores.txt: five records of quoted initials and a score, best first, one per
// line ending in CR LF, for example "ABC",150.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bopatron::scores {

inline constexpr char kScoresFile[] = "\\Scores.txt";

// The two fields of one record, as text.
struct Record {
    std::string initials;
    std::string scoreText;
};

// Splits file text into records. A field ends at a comma or a line end; a
// field that begins with a double quote runs to the next double quote,
// spaces and commas included; an unquoted field loses its leading and
// trailing blanks. Blank lines are skipped; a record without a second field
// has an empty score text. Stops after the most records wanted.
std::vector<Record> parseRecords(std::string_view text, std::size_t most = SIZE_MAX);

// The numeric value of a score text: its numeric prefix, as a typed answer
// is read ("12ab" is 12, "-7 8" is -7); 0 for one that does not begin with a
// number or does not fit a 16-bit integer.
double scoreValue(std::string_view scoreText);

// One record as the game writes it: "ABC",150 and CR LF. A record cannot hold
// a double quote or a line end in its initials: a quote is written as an
// apostrophe and a line end as a space, so the record reads back as written.
std::string formatRecord(std::string_view initials, std::int16_t score);

// The five records the game ships with.
std::string initialScoresText();

// The most of a table file that is read: the ranking uses six records, which
// take a few dozen bytes, so a file of any size costs no more than a normal one.
inline constexpr std::size_t kTableReadLimit = 4096;

}  // namespace bopatron::scores
