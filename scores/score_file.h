#pragma once
// Scores.txt: five records of quoted initials and a score, best first, one per
// line ending in CR LF, for example "ABC",150.

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
// has an empty score text.
std::vector<Record> parseRecords(std::string_view text);

// The numeric value of a score text, 0 for one that is not a number or does
// not fit a 16-bit integer.
double scoreValue(std::string_view scoreText);

// One record as the game writes it: "ABC",150 and CR LF. A record cannot hold
// a double quote or a line end in its initials: a quote is written as an
// apostrophe and a line end as a space, so the record reads back as written.
std::string formatRecord(std::string_view initials, std::int16_t score);

// The five records the game ships with.
std::string initialScoresText();

// Reads a whole file; nullopt when it cannot be opened.
std::optional<std::string> readFile(const std::string& path);

// Replaces the file's contents in one step: the text goes to a temporary file
// in the same folder, which then takes the file's place, so a failed write
// leaves the old file intact. Returns an error text, or "" on success.
std::string writeFileAtomically(const std::string& path, std::string_view text);

}  // namespace bopatron::scores
