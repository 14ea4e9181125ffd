// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The sound cues: .wav files in the program's folder, named as the game stores them.

#include "runtime/host.h"

#include <array>
#include <string_view>

namespace bopatron::sound {

// Opening lines of a round.
inline constexpr std::string_view kMoiderYou = "\\moideryou.wav";
inline constexpr std::string_view kKnockBrains = "\\knockbrains.wav";
inline constexpr std::string_view kFault = "\\fault.wav";
inline constexpr std::string_view kBare = "\\bare.wav";  // also a place 2 to 5 in the table
// Hit cues.
inline constexpr std::string_view kWhackPop = "\\whack_pop.wav";
inline constexpr std::string_view kWhackPop2 = "\\whack_pop2.wav";
inline constexpr std::string_view kWhackPop3 = "\\whack_pop3.wav";
inline constexpr std::string_view kPlink = "\\Plink.wav";
inline constexpr std::string_view kBoink = "\\boink.wav";
// Remarks of the three characters.
inline constexpr std::string_view kWiseGuy = "\\WISEGUY.wav";
inline constexpr std::string_view kWhop = "\\C_whop1.wav";
inline constexpr std::string_view kNaaaaaa = "\\Naaaaaa.wav";
inline constexpr std::string_view kFathead = "\\fathead.wav";
inline constexpr std::string_view kVavavoo = "\\vavavoo.wav";
inline constexpr std::string_view kCantSee = "\\CANTSEE.wav";
inline constexpr std::string_view kNo = "\\no.wav";
inline constexpr std::string_view kHereIAm = "\\hereiam.wav";
inline constexpr std::string_view kMeepMeep = "\\meepmeep.wav";
// First place in the high-score table.
inline constexpr std::string_view kOne = "\\one.wav";

inline constexpr std::array<std::string_view, 4> kOpeningCues = {kMoiderYou, kKnockBrains, kFault,
                                                                 kBare};
// Remarks by character (rows) and by dice 4, 5, 6 (columns).
inline constexpr std::array<std::array<std::string_view, 3>, 3> kRemarkCues = {{
    {kWiseGuy, kWhop, kNaaaaaa},
    {kFathead, kVavavoo, kCantSee},
    {kNo, kHereIAm, kMeepMeep},
}};

// Every cue the game can play.
inline constexpr std::array<std::string_view, 19> kAllCues = {
    kMoiderYou, kKnockBrains, kFault, kBare,  kWhackPop, kWhackPop2, kWhackPop3,
    kPlink,     kBoink,       kWiseGuy, kWhop, kNaaaaaa, kFathead,   kVavavoo,
    kCantSee,   kNo,          kHereIAm, kMeepMeep, kOne};

// Starts the cue playing from the program's folder and returns at once.
void playCue(runtime::Host& host, std::string_view cue);

}  // namespace bopatron::sound
