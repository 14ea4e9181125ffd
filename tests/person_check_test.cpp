// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The facts of play a replay keeps and the person check's rules over them:
// when a rat showed and a whack came, which whacks are hammering's luck, how
// likely each rat was to come up under the pointer, and which rounds the
// rules hold. Every expected figure is worked out by hand from the game's odds.
#include "image/png_decoder.h"
#include "server/person_check.h"
#include "server/replay_state.h"
#include "tools/bots/round.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <tuple>

namespace bopatron::server {
namespace {

const Replayer& replayer() {
    static const Replayer r = loadReplayer(BOPATRON_PROGRAM_DIR, image::decodePng);
    return r;
}

std::vector<std::string> rulesBroken(const ReactionSummary& s) {
    std::vector<std::string> broken;
    for (const PersonReason& r : personReasons(s)) broken.push_back(r.rule);
    return broken;
}

// A whack in a round of its own: its rat shown at tick 100, its press `ticks` later,
// the press before it `gap` ticks earlier, `moved` pixels away.
RoundPlay oneWhack(long ticks, long gap, float moved, float travel = 50) {
    RoundPlay play;
    play.presses = {{100 + ticks - gap, 10 + moved, 10, 0}, {100 + ticks, 10, 10, 36}};
    play.whacks = {Whack{100, 100 + ticks, 36, 1, 1, 1, travel}};
    return play;
}

// A rat is shown by the first frame that draws it with something to see (a hole
// is drawn before its step, so a rat that comes up shows its first frame that
// tick); a whack's reaction runs from that frame to the press.
TEST(PlayFacts, ReactionsRunFromTheFrameThatFirstShowedTheRat) {
    struct Case {
        const char* what;
        bool firstFrameSeen;  // frame 12 has a size
        bool beforeNewGame;   // the rat came up before the round's "New Game"
        int ticksAfter;       // ticks played after the one the rat came up in, before the press
        int reactionMs;       // -1: no whack of the round
    };
    const Case cases[] = {
        {"pressed right after the frame that showed it", true, false, 0, 0},
        {"pressed 25 ticks later", true, false, 25, 500},
        {"frame 12 shows nothing: shown at 11, two ticks later", false, false, 3, 20},
        {"a rat up since before the round", true, true, 6, -1},
    };
    for (const Case& c : cases) {
        game::GameState g;
        g.spr.sprW[12] = g.spr.sprH[12] = c.firstFrameSeen ? 10 : 0;
        g.spr.sprW[11] = g.spr.sprH[11] = 10;
        PlayWatcher watcher(g);
        long ticks = 0;
        const auto tick = [&](std::int16_t pos) {
            watcher.beforeTick();
            if (pos >= 0) g.ratPos[1][1] = pos;
            watcher.afterTick(++ticks);
        };
        watcher.moved(300, 200);  // far from hole (1, 1)
        if (!c.beforeNewGame) watcher.newGame();
        for (int t = 0; t < 30; ++t) tick(-1);
        tick(12);  // tick 31: up, and drawn at 12
        if (c.beforeNewGame) watcher.newGame();
        for (int t = 0; t < c.ticksAfter; ++t) tick(t == 0 ? 11 : -1);
        watcher.moved(190, 95);
        watcher.beforePress();
        g.ratPos[1][1] = game::kWhackedPos;
        watcher.afterPress(ticks);
        const RoundPlay play = watcher.take();
        ASSERT_EQ(play.presses.size(), 1u) << c.what;
        EXPECT_EQ(play.presses[0].points, c.ticksAfter == 0 ? 36 : 33) << c.what;  // pressed at 12, or at 11
        ASSERT_EQ(play.whacks.size(), c.reactionMs < 0 ? 0u : 1u) << c.what;
        if (play.whacks.empty()) continue;
        EXPECT_EQ(std::tuple(play.whacks[0].reactionMs(), play.whacks[0].row, play.whacks[0].col), std::tuple(c.reactionMs, 1, 1))
            << c.what;
        EXPECT_FLOAT_EQ(play.whacks[0].travel, std::hypot(110.0f, 105.0f)) << c.what;  // from (300, 200) to (190, 95)
        // The reach: from the pointer when the rat showed to its 10-pixel frame's middle at (5, 5).
        EXPECT_NEAR(play.whacks[0].bits, std::log2(std::hypot(295.0, 195.0) / 10 + 1), 1e-6) << c.what;
        EXPECT_TRUE(play.whacks[0].free) << c.what;
    }
    // A round's summary: median, fastest, spread, and the whacks under the floor,
    // whose press came at most 100 ms after the frame (80 to 100 ms is not certain: 100
    // counts) with the hand moved to the rat; one that came up under a resting hand is luck.
    RoundPlay play;
    for (const long ticks : {0, 4, 5, 10, 20, 1}) {
        play.whacks.push_back(Whack{100, 100 + ticks, 3, 0, 0, play.presses.size(), ticks == 1 ? 0.0f : 50.0f});
        play.presses.push_back({100 + ticks, 100.0f * static_cast<float>(play.presses.size()), 0, 3});
    }
    play.presses.push_back({900, 0, 0, 0});
    const ReactionSummary s = summarize(play);
    EXPECT_EQ(std::tuple(s.whacks, s.reactions, s.medianMs, s.fastestMs, s.underFloor, s.spreadMs, s.presses, s.missed),
              std::tuple(6, 6, 100, 0, 2, 135, 7, 1));
}

// A free hand's reactions against their reaches' bits: the least-squares slope, its standard
// error from the scatter about the line, and the normal odds of a slope this low from a hand
// at 100 ms a bit. Worked by hand: bits 0 to 3 with 200, 320, 380 and 500 ms give a slope of
// 480 / 5 = 96, residuals -6, 18, -18, 6, an error of sqrt(720 / 2 / 5) = 8.485 and odds of
// the normal's 0.3187 at -0.471. A whack of a hand that pressed another rat after it showed
// is no reach from where the hand was.
TEST(PlayFacts, AFreeHandsReactionsAreWeighedAgainstTheirReach) {
    RoundPlay play;
    const struct {
        double bits;
        long ticks;
        bool free;
    } whacks[] = {{0, 10, true}, {1, 16, true}, {2, 19, true}, {3, 25, true}, {3, 5, false}};
    for (const auto& w : whacks) {
        const long shown = 100 * static_cast<long>(play.presses.size() + 1);
        play.whacks.push_back(Whack{shown, shown + w.ticks, 3, 0, 0, play.presses.size(), 50, w.bits, w.free});
        play.presses.push_back({shown + w.ticks, 0, 0, 3});
    }
    const ReactionSummary s = summarize(play);
    EXPECT_EQ(s.reaches, 4);
    EXPECT_NEAR(s.reachSlope, 96, 1e-9);
    EXPECT_NEAR(s.reachSlopeError, std::sqrt(72.0), 1e-9);
    EXPECT_NEAR(s.reachOdds, 0.3187, 1e-4);
    // The floor of a reaction and a reach, 100 ms and 100 a bit (the press within the tick
    // after the lower bound): 1 bit in 80 ms and 2 in 280 come under it, 2 in 300 does not; a
    // reach of under a bit, or a press where the hand rests (12 pixels), is the plain floor's.
    RoundPlay floor;
    for (const auto& [bits, ticks, travel] : std::vector<std::tuple<double, long, float>>{
             {1, 4, 50}, {2, 14, 50}, {2, 15, 50}, {0.5, 1, 50}, {2, 1, 12}}) {
        const long shown = 100 * static_cast<long>(floor.presses.size() + 1);
        floor.whacks.push_back(Whack{shown, shown + ticks, 3, 0, 0, floor.presses.size(), travel, bits, true});
        floor.presses.push_back({shown + ticks, 0, 0, 3});
    }
    EXPECT_EQ(std::pair(summarize(floor).reaches, summarize(floor).underReachFloor), std::pair(5, 2));
}

// The waiting rule's tail is the chance of at least as many rats under the pointer as came:
// five rats each put there with 0.111, all five under it (0.111^5 = 1.7e-5) is held, four of
// the five (5 * 0.111^4 * 0.889 + 1.7e-5 = 6.9e-4) is not; three of three at a half, 0.125.
TEST(PlayFacts, RatsUnderTheWaitingPointerAreWeighedByTheChanceOfAtLeastAsMany) {
    const auto waited = [](int rats, int under, double chance) {
        RoundPlay play;
        for (int i = 0; i < rats; ++i) play.rats.push_back({100L * i, 1, 1, 0, 0, i < under, chance});
        return summarize(play);
    };
    EXPECT_NEAR(waited(5, 5, 0.111).underPointerOdds, 1.68506e-5, 1e-10);
    EXPECT_NEAR(waited(5, 4, 0.111).underPointerOdds, 6.91633e-4, 1e-9);
    EXPECT_NEAR(waited(3, 3, 0.5).underPointerOdds, 0.125, 1e-12);
    EXPECT_EQ(rulesBroken(waited(5, 5, 0.111)), std::vector<std::string>{"waiting"});
    EXPECT_TRUE(rulesBroken(waited(5, 4, 0.111)).empty());
}

// A hand is free for a rat when no press came between its show and the hand's press: two
// rats up at once, the later pressed first, leave the earlier's reach unmeasured; and one
// press that whacks two reached for the one shown first.
TEST(PlayFacts, AHandBusyWithAnotherRatIsNotFree) {
    game::GameState g;
    g.spr.sprW[12] = g.spr.sprH[12] = 10;
    PlayWatcher watcher(g);
    watcher.newGame();
    long ticks = 0;
    const auto step = [&](int row, int col, std::int16_t pos) {
        watcher.beforeTick();
        if (row >= 0) g.ratPos[row][col] = pos;
        watcher.afterTick(++ticks);
    };
    const auto press = [&](int row, int col) {
        watcher.beforePress();
        g.ratPos[row][col] = game::kWhackedPos;
        watcher.afterPress(ticks);
    };
    step(0, 0, 12);   // the first rat shows
    step(2, 2, 12);   // the second
    step(-1, 0, 0);
    press(2, 2);      // the second is pressed first
    step(-1, 0, 0);
    press(0, 0);
    // A rat that comes up where another went at most 25 ticks (half a second) before may meet
    // a hand that was on its way to that one: no free reach either.
    for (const int after : {25, 26}) {
        step(0, 0, 0);  // the whacked one goes
        for (int t = 1; t < after; ++t) step(-1, 0, 0);
        step(0, 0, 12);
        press(0, 0);
    }
    // One press whacking two rats reached for the one shown first; the other was in its way.
    step(1, 1, 12);
    step(2, 0, 12);
    for (int t = 0; t < 30; ++t) step(-1, 0, 0);
    watcher.beforePress();
    g.ratPos[1][1] = g.ratPos[2][0] = game::kWhackedPos;
    watcher.afterPress(ticks);
    const RoundPlay play = watcher.take();
    ASSERT_EQ(play.whacks.size(), 6u);
    EXPECT_EQ(std::tuple(play.whacks[4].row, play.whacks[4].free, play.whacks[5].row, play.whacks[5].free),
              std::tuple(2, false, 1, true));
    EXPECT_EQ(std::tuple(play.whacks[0].row, play.whacks[0].free, play.whacks[1].row, play.whacks[1].free),
              std::tuple(2, true, 0, false));
    EXPECT_EQ(std::pair(play.whacks[2].free, play.whacks[3].free), std::pair(false, true));
}

// Hammering: a whack whose rat came up between two presses made where the pointer
// rests, at most 12 ticks apart, is luck, not a reaction. Luck finds a rat with the
// press that follows it wherever in the interval it came; "early" is the first quarter.
TEST(PlayFacts, HammeringsLuckIsNoReactionAndIsSpreadOverItsInterval) {
    const struct {
        const char* what;
        long ticks, gap;
        float moved;
        bool lucky, early;
    } cases[] = {
        {"5 ticks after the press before, same spot, the rat after it", 1, 5, 0, true, true},
        {"the second of 5 ticks is still the first quarter (2 of 5)", 1, 5, 11, true, true},
        {"the third of 5 ticks is not", 2, 5, 0, true, false},
        {"12 ticks apart: hammering still", 2, 12, 0, true, true},
        {"13 ticks apart: not hammering", 3, 13, 0, false, false},
        {"the press before was elsewhere", 1, 5, 13, false, false},
        {"the rat showed before the press before", 5, 5, 0, false, false},
    };
    for (const auto& c : cases) {
        const ReactionSummary s = summarize(oneWhack(c.ticks, c.gap, c.moved));
        EXPECT_EQ(std::tuple(s.lucky, s.luckyEarly, s.reactions), std::tuple(c.lucky ? 1 : 0, c.early ? 1 : 0, c.lucky ? 0 : 1))
            << c.what;
        if (c.lucky) {
            EXPECT_DOUBLE_EQ(s.luckyEarlyByChance, c.gap == 12 ? 3.0 / 12 : 2.0 / 5) << c.what;
        }
    }
}

// The pointer on a hole's spot when a rat comes up: the spawn puts it there with that
// hole's pick (1/2.99 or 0.99/2.99 for each of row and column) out of the picks of the
// holes empty then, since a pick of a hole that is not empty gives no rat.
TEST(PlayFacts, EachRatIsWeighedByHowLikelyTheSpawnPutItUnderThePointer) {
    const struct {
        const char* what;
        float x, y;
        int row, col;           // where the rat comes up
        bool cornerTaken;       // a rat is up in hole (0, 0)
        bool under;
        double chance;
    } cases[] = {
        {"over (1, 1), every hole empty", 105, 105, 1, 1, false, true, 0.111855},
        {"over (1, 1), the rat elsewhere", 105, 105, 2, 0, false, false, 0.111855},
        {"over (2, 2), every hole empty", 205, 205, 2, 2, false, true, 0.109630},
        {"over (1, 1), (0, 0) taken", 105, 105, 1, 1, true, true, 0.125943},
        {"over the taken hole (0, 0)", 5, 5, 1, 1, true, false, 0},
        {"between the holes", 150, 150, 1, 1, false, false, 0},
    };
    for (const auto& c : cases) {
        game::GameState g;
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) g.holeX[row][col] = static_cast<std::int16_t>(col * 100), g.holeY[row][col] = static_cast<std::int16_t>(row * 100);
        g.spr.sprW[6] = g.spr.sprH[6] = 20;  // one frame of size: 0 < x < 20 from the hole's anchor
        g.ratPos[0][0] = c.cornerTaken ? 5 : 0;
        PlayWatcher watcher(g);
        watcher.moved(c.x, c.y);
        watcher.beforeTick();
        g.ratPos[c.row][c.col] = 12;
        watcher.afterTick(1);
        const RoundPlay play = watcher.take();
        ASSERT_EQ(play.rats.size(), 1u) << c.what;
        EXPECT_EQ(play.rats[0].underPointer, c.under) << c.what;
        EXPECT_NEAR(play.rats[0].chance, c.chance, 1e-6) << c.what;
    }
}

// The rules' thresholds at their edges, each case a round's summary: under-floor at
// three reactions and one in five; waiting, and hammering's timing, when chance gives
// that many as seldom as 3.2e-5 (the binomial's tail, each rat or whack with its odds).
TEST(PersonCheck, EachRuleHoldsAtItsEdge) {
    const auto reactions = [](int n, int underFloor) {
        ReactionSummary r;
        r.whacks = r.reactions = n;
        r.underFloor = underFloor;
        r.medianMs = r.thirdQuartileMs = 400;
        r.spreadMs = 100;
        return r;
    };
    const auto quick = [&](int n, int thirdQuartileMs, int spreadMs) {
        ReactionSummary r = reactions(n, 0);
        r.thirdQuartileMs = thirdQuartileMs;
        r.spreadMs = spreadMs;
        return r;
    };
    const auto chance = [](int n, int k, double p, bool luck) {
        ReactionSummary r;
        const std::vector<double> each(static_cast<std::size_t>(n), p);
        (luck ? r.lucky : r.ratsShown) = n;
        (luck ? r.luckyEarly : r.underPointer) = k;
        (luck ? r.luckyEarlyByChance : r.underPointerByChance) = n * p;
        (luck ? r.luckyEarlyOdds : r.underPointerOdds) = chanceOfAtLeast(k, each);
        return r;
    };
    const auto reachFloor = [&](int n, int under, int ofReactions = 0) {
        ReactionSummary r = reactions(std::max(n, ofReactions), 0);
        r.reaches = n;
        r.underReachFloor = under;
        return r;
    };
    const auto presses = [](int fastestSecond, bool steady) {
        ReactionSummary r;
        r.fastestSecond = fastestSecond;
        r.machineRhythm = steady;
        return r;
    };
    const struct {
        const char* what;
        ReactionSummary summary;
        std::vector<std::string> broken;
    } cases[] = {
        {"3 of 15 under the floor", reactions(15, 3), {"under-floor"}},
        {"3 of 16", reactions(16, 3), {}},
        {"2 of 5", reactions(5, 2), {}},
        {"3 of 5", reactions(5, 3), {"under-floor"}},
        {"4 of 4: too few to judge", reactions(4, 4), {}},
        {"10 reactions, three in four 240 ms after their rat showed at least", quick(10, 240, 100), {"quick"}},
        {"260 ms", quick(10, 260, 100), {}},
        {"9 reactions: too few to weigh their spread", quick(9, 100, 10), {}},
        {"10 spread by 39 ms", quick(10, 400, 39), {"spread"}},
        {"by 40 ms", quick(10, 400, 40), {}},
        {"5 of 5 rats under the pointer at 0.111: 1.7e-5", chance(5, 5, 0.111, false), {"waiting"}},
        {"4 of 5: 6.9e-4", chance(5, 4, 0.111, false), {}},
        {"15 of 40: 1.3e-5", chance(40, 15, 0.111, false), {"waiting"}},
        {"14 of 40: 6.0e-5", chance(40, 14, 0.111, false), {}},
        {"8 of 8 lucky early at 0.25: 1.5e-5", chance(8, 8, 0.25, true), {"hammer-timing"}},
        {"7 of 8: 3.8e-4", chance(8, 7, 0.25, true), {}},
        {"3 of 15 free reactions under the floor of a reach", reachFloor(15, 3), {"reach-floor"}},
        {"3 of 16", reachFloor(16, 3), {}},
        {"2 of 5", reachFloor(5, 2), {}},
        {"3 of 3 free reactions, of 3 whacks", reachFloor(3, 3), {"reach-floor"}},
        {"2 of 2 (of 15)", reachFloor(2, 2, 15), {}},
        {"20 presses in a second", presses(20, false), {}},
        {"21", presses(21, false), {"rhythm"}},
        {"a steady period", presses(10, true), {"rhythm"}},
    };
    for (const auto& c : cases) EXPECT_EQ(rulesBroken(c.summary), c.broken) << c.what;
}

// Presses: the most in any one second (50 ticks), and a steady period seen through
// the 20 ms clock (every interval of hammering one of two neighbouring tick counts,
// over 50 or more of them).
TEST(PlayFacts, PressesShowTheirRateAndAMachinesSteadyPeriod) {
    const struct {
        const char* what;
        std::vector<long> gaps;  // ticks between presses, repeated to 60 presses
        int fastestSecond;
        bool steady;
    } cases[] = {
        {"every 5 ticks", {5}, 10, true},
        {"5 and 6 in turn (110 ms)", {5, 6}, 10, true},
        {"4, 5 and 6", {5, 4, 6}, 11, false},
        {"every 2 ticks", {2}, 25, true},
        {"5, then a pause of 13", {5, 5, 5, 13}, 8, false},
    };
    for (const auto& c : cases) {
        RoundPlay play;
        long tick = 10;
        for (std::size_t i = 0; i < 60; ++i) {
            play.presses.push_back({tick, 0, 0, 0});
            tick += c.gaps[i % c.gaps.size()];
        }
        const ReactionSummary s = summarize(play);
        EXPECT_EQ(std::tuple(s.fastestSecond, s.machineRhythm, s.missed), std::tuple(c.fastestSecond, c.steady, 60)) << c.what;
    }
    // 50 intervals are needed: 49 tell nothing.
    RoundPlay few;
    for (long tick = 0; tick < 50 * 5; tick += 5) few.presses.push_back({tick, 0, 0, 0});
    EXPECT_FALSE(summarize(few).machineRhythm);
}

// Every bot's round is held, each for what gives it away: the instant one and the
// hammering one that jumps to each rat for presses under the floor, the 150 ms and
// the jittered ones for reacting sooner than a person can, the precomputing one and
// the radar for rats that came where the pointer waited, the autoclicker for its
// steady period. The models of people are not (how seldom over many rounds:
// bench/person_bench). Each player at three difficulties, all nine among them.
TEST(PersonCheck, EveryBotRoundIsHeldAndAPersonsIsNot) {
    using bots::Kind;
    const std::map<Kind, std::string> rule = {
        {Kind::Instant, "under-floor"},    {Kind::Fixed150, "quick"},     {Kind::Jittered, "quick"},
        {Kind::Precomputing, "waiting"},   {Kind::Radar, "waiting"},      {Kind::Autoclicker, "rhythm"},
        {Kind::HidingHammer, "under-floor"}};
    int k = 0;
    for (const Kind kind : bots::kKinds) {
        ++k;
        if (kind == Kind::RadarTouch) continue;  // below, beside a person tapping the same round
        for (const int difficulty : {k % 9, (k + 3) % 9, (k + 6) % 9}) {
            const bots::RoundPlan plan{kind, 1000u + static_cast<unsigned>(difficulty), 7u, difficulty, 11u, {}};
            const RoundFacts facts = replayRound(bots::playRound(plan, BOPATRON_PROGRAM_DIR, replayer().pictures), 1, replayer());
            ASSERT_FALSE(facts.failed) << bots::nameOf(kind) << " at " << difficulty;
            const std::string what = std::string(bots::nameOf(kind)) + " at " + std::to_string(difficulty) + ": " +
                                     reactionsJson(facts.reactions).dump();
            if (rule.count(kind)) EXPECT_THAT(rulesBroken(facts.reactions), ::testing::Contains(rule.at(kind))) << what;
            else EXPECT_THAT(rulesBroken(facts.reactions), ::testing::IsEmpty()) << what;
        }
    }
    // A player told where rats come, tapping each a simple reaction after it shows, and a
    // person tapping: the same seeds and values, told apart by how their times grow with the reach.
    for (const int difficulty : {2, 5, 8}) {
        for (const Kind kind : {Kind::RadarTouch, Kind::PersonTouch}) {
            const bots::RoundPlan plan{kind, 2000u + static_cast<unsigned>(difficulty), 9u, difficulty, 13u, {}};
            const RoundFacts facts = replayRound(bots::playRound(plan, BOPATRON_PROGRAM_DIR, replayer().pictures), 1, replayer());
            const std::vector<std::string> broken = rulesBroken(facts.reactions);
            EXPECT_EQ(std::find(broken.begin(), broken.end(), "reach-floor") != broken.end(), kind == Kind::RadarTouch)
                << bots::nameOf(kind) << " at " << difficulty << ": " << reactionsJson(facts.reactions).dump();
        }
    }
}

}  // namespace
}  // namespace bopatron::server
