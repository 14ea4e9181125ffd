// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The end of a round: rank the score against Scores.txt, ask for initials when
// it is placed, rewrite the file and print the table on the back buffer.

#include "draw/surface.h"
#include "runtime/host.h"

#include <cstdint>
#include <string>

namespace bopatron::scores {

inline constexpr char kTopTitle[] = "Top 5";
inline constexpr char kHeading[] = " Top 5 Scores";
inline constexpr char kFirstPrompt[] = "You're Number One!!! Enter your initials.";
inline constexpr char kPlacedPrompt[] = "You made the Top 5!!! Enter your initials.";
inline constexpr char kNoInitials[] = "XXX";
inline constexpr double kTableFontSize = 8.0;

// Where the table is kept: Scores.txt in the host's scores folder.
std::string scoresPath(runtime::Host& host);

// The three characters the table keeps for a typed answer (UTF-8): as
// Latin-1, cut or padded to three, "XXX" for nothing typed, and written so
// that the record reads back (a quote as an apostrophe, a line end as a space).
std::string keptInitials(const std::string& answer);

void printscore(runtime::Host& host, draw::Surface& Picbuf, std::int16_t score);

}  // namespace bopatron::scores
