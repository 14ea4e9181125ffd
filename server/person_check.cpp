// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/person_check.h"

#include <cstdio>

namespace bopatron::server {

namespace {

std::string about(double expected) {
    char text[16];
    std::snprintf(text, sizeof text, "%.0f", expected);
    return text;
}

// Rules over the whacks that were reactions (hammering's lucky ones are not).
void judgeReactions(const ReactionSummary& r, std::vector<PersonReason>& reasons) {
    const std::string of = " of " + std::to_string(r.reactions) + " whacks";
    // A press at most 100 ms after the rat showed is faster than a person reacts;
    // a few may be luck (a press already on its way), a fifth of them is not.
    if (r.reactions >= kLeastWhacks && r.underFloor >= 3 && r.underFloor * 5 >= r.reactions)
        reasons.push_back({"under-floor", std::to_string(r.underFloor) + of + " came faster than a person reacts"});
    // A free hand's press no sooner than a reaction and the reach, which takes longer the
    // further the rat (Fitts' law): a person's hand comes under it almost never, so three
    // such presses, and a fifth of a free hand's, are enough however few it made.
    if (r.underReachFloor >= 3 && r.underReachFloor * 5 >= r.reaches)
        reasons.push_back({"reach-floor", std::to_string(r.underReachFloor) + " of " + std::to_string(r.reaches) +
                                              " whacks of a free hand came sooner than a person reacts and reaches that far"});
    if (r.reactions < kLeastSpread) return;
    if (r.thirdQuartileMs < kLeastThirdQuartileMs)
        reasons.push_back({"quick", "three in four of its whacks came within " + std::to_string(r.thirdQuartileMs + 20) +
                                        " ms of their rat showing, sooner than a person sees a rat and reaches it"});
    if (r.spreadMs < kLeastSpreadMs)
        reasons.push_back({"spread", "its reactions hardly vary (by " + std::to_string(r.spreadMs) + " ms), as no person's do"});
}

}  // namespace

std::vector<PersonReason> personReasons(const ReactionSummary& r) {
    std::vector<PersonReason> reasons;
    judgeReactions(r, reasons);
    // A person's pointer does not know where the next rat comes, wherever it rests
    // and however long: each rat comes up under it as often as the spawn's own odds say.
    if (r.underPointer > r.underPointerByChance && r.underPointerOdds < kChanceOdds)
        reasons.push_back({"waiting", std::to_string(r.underPointer) + " of " + std::to_string(r.ratsShown) +
                                          " rats came up where the pointer was waiting, where chance gives about " +
                                          about(r.underPointerByChance)});
    // Hammering finds a rat with whichever press comes next: as often early in the
    // interval between two presses as late.
    if (r.luckyEarly > r.luckyEarlyByChance && r.luckyEarlyOdds < kChanceOdds)
        reasons.push_back({"hammer-timing", std::to_string(r.luckyEarly) + " of " + std::to_string(r.lucky) +
                                                " whacks among its rapid presses came right after their rat showed, "
                                                "where chance gives about " + about(r.luckyEarlyByChance)});
    if (r.fastestSecond > kMostPressesASecond)
        reasons.push_back({"rhythm", std::to_string(r.fastestSecond) + " presses came within one second, more than a person makes"});
    else if (r.machineRhythm)
        reasons.push_back({"rhythm", "its " + std::to_string(r.hammerIntervals) +
                                         " rapid presses came at one steady period, as a machine's do and no hand's"});
    return reasons;
}

}  // namespace bopatron::server
