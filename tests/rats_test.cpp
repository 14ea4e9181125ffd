// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The rat life cycle: the spawn test, the hole pick and pace, sinking, the
// 20-point loss, the whacked frames and the character change.
#include "scores/score_file.h"
#include "tests/game_fixture.h"

#include <cmath>

#include <gmock/gmock.h>

namespace bopatron::testing {
namespace {

using ::testing::ElementsAre;

class RatsTest : public GameTest {
protected:
    void SetUp() override { load(); }
    // Calls popuprats at a difficulty with the given draws.
    void spawn(std::int16_t difficulty, std::initializer_list<double> draws) {
        s.difficulty = difficulty;
        s.ticks = 1;
        host.draws(draws);
        form.popuprats();
    }
    int ratsUp() const {
        int n = 0;
        for (auto& row : s.ratPos)
            for (std::int16_t p : row) n += p != 0;
        return n;
    }
    // One tick with no spawn; returns the position of hole (row, col) after it.
    std::int16_t after(int row, int col) {
        tick({0.0});
        return s.ratPos[row][col];
    }
};

TEST_F(RatsTest, SpawnTestPassesFromOneNthUpToButNotIncludingTwoNths) {
    for (std::int16_t d : {8, 5, 0, -10}) {
        const double n = 30 - d;
        spawn(d, {std::nextafter(1.0 / n, 0.0)});
        EXPECT_EQ(ratsUp(), 0) << "just below 1/n at difficulty " << d;
        spawn(d, {2.0 / n});
        EXPECT_EQ(ratsUp(), 0) << "2/n at difficulty " << d;
        spawn(d, {0.0});
        spawn(d, {0.999});
        EXPECT_EQ(ratsUp(), 0);
        spawn(d, {1.0 / n, 0.0, 0.0, 0.0});
        EXPECT_EQ(s.ratPos[0][0], 12) << "1/n at difficulty " << d;
        s.ratPos[0][0] = 0;
        spawn(d, {std::nextafter(2.0 / n, 0.0), 0.0, 0.0, 0.0});
        EXPECT_EQ(s.ratPos[0][0], 12) << "just below 2/n at difficulty " << d;
        s.ratPos[0][0] = 0;
    }
}

TEST_F(RatsTest, FirstPickDrawIsTheRowSecondTheColumnScaledByTwoPointNineNine) {
    const double win = 1.0 / 30;
    spawn(0, {win, 0.99, 0.0, 0.0});  // 0.99 * 2.99 = 2.96: row 2
    EXPECT_EQ(s.ratPos[2][0], 12);
    spawn(0, {win, 0.0, 2.0 / 2.99, 0.0});  // exactly 2.0: column 2
    EXPECT_EQ(s.ratPos[0][2], 12);
    spawn(0, {win, std::nextafter(1.0 / 2.99, 0.0), 0.5, 0.0});  // row 0, column 1
    EXPECT_EQ(s.ratPos[0][1], 12);
    spawn(0, {win, 0.9999999, 0.4, 0.0});
    EXPECT_EQ(s.ratPos[2][1], 12);
    EXPECT_EQ(ratsUp(), 4);
}

TEST_F(RatsTest, PaceIsOneToEightMinusDifficultyEachEquallyLikely) {
    struct Case {
        std::int16_t difficulty;
        double draw;
        std::int16_t pace;
    };
    const Case cases[] = {
        {8, 0.999, 1},  {7, 0.999, 1},   {6, 0.0, 1},       {6, 0.5, 2},   {6, 0.4999, 1},
        {5, 0.999, 3},  {0, 0.0, 1},     {0, 0.999999, 8},  {0, 0.125, 2}, {0, 0.1249, 1},
        {-10, 0.999, 18}, {-10, 0.0, 1}, {1, 6.0 / 7, 7},
    };
    for (const Case& c : cases) {
        s.ratPos[1][1] = 0;
        const double win = 1.0 / (30 - c.difficulty);
        spawn(c.difficulty, {win, 0.5, 0.5, c.draw});
        EXPECT_EQ(s.ratPos[1][1], 12);
        EXPECT_EQ(s.ratPace[1][1], c.pace) << "difficulty " << c.difficulty << " draw " << c.draw;
    }
}

TEST_F(RatsTest, PickOfAnOccupiedHoleStopsAfterThreeDrawsAndTriesNoOther) {
    place(1, 1, 13, 10);
    spawn(0, {1.0 / 30, 0.5, 0.5});
    EXPECT_EQ(ratsUp(), 1);
    EXPECT_EQ(s.ratPos[1][1], 13);
    EXPECT_EQ(s.ratPace[1][1], 10);
    place(0, 0, 4, 2);
    spawn(0, {1.0 / 30, 0.0, 0.0});
    EXPECT_EQ(s.ratPos[0][0], 4);
    EXPECT_EQ(s.ratPace[0][0], 2);
}

TEST_F(RatsTest, RatWithPace3PoppedOnTick10SinksOnTick45AndCostsTwentyThen) {
    newGame("5");
    quietTicks(9);
    tick({1.0 / 25, 0.5, 0.5, 0.7});  // tick 10: pace Int(0.7 * 3) + 1 = 3
    ASSERT_EQ(s.ratPace[1][1], 3);
    s.score = 50;
    std::vector<std::int16_t> positions{s.ratPos[1][1]};  // after tick 10
    for (int t = 11; t <= 46; ++t) positions.push_back(after(1, 1));
    // After ticks 10, 11: 12; tick 12 steps to 11; then one step every 3 ticks.
    const std::pair<int, int> expected[] = {{10, 12}, {11, 12}, {12, 11}, {15, 10}, {18, 9}, {42, 1}, {44, 1}, {45, 0}};
    for (const auto& [t, pos] : expected) EXPECT_EQ(positions[t - 10], pos) << "after tick " << t;
    EXPECT_EQ(s.score, 30) << "20 lost on tick 45, once";
    EXPECT_EQ(s.ratKind, 0) << "a rat that sinks back never changes the character";
}

TEST_F(RatsTest, RatPoppedOnAMultipleOfItsPaceIsAtElevenAfterThatTick) {
    newGame("6");
    quietTicks(11);
    tick({1.0 / 24, 0.0, 0.0, 0.5});  // tick 12, pace 2
    EXPECT_EQ(s.ratPace[0][0], 2);
    EXPECT_EQ(s.ratPos[0][0], 11);
}

TEST_F(RatsTest, PaceOneRatIsOnScreenTwelveTicksAndCostsOnTickElevenAfter) {
    newGame("8");
    quietTicks(99);
    tick({1.0 / 22, 0.0, 0.0, 0.0});  // tick 100
    EXPECT_EQ(s.ratPos[0][0], 11);
    quietTicks(10);  // ticks 101..110
    EXPECT_EQ(s.ratPos[0][0], 1);
    EXPECT_EQ(s.score, 0);
    quietTicks(1);  // tick 111
    EXPECT_EQ(s.ratPos[0][0], 0);
    EXPECT_EQ(s.score, -20);
}

TEST_F(RatsTest, EmptyHoleNeverChangesWhateverItsLeftoverPace) {
    s.ticks = 12;
    for (std::int16_t pace : {0, 1, 5, 10}) {
        place(2, 2, 0, pace);
        form.updateRat({}, 2, 2);
        EXPECT_EQ(s.ratPos[2][2], 0);
        EXPECT_EQ(s.ratPace[2][2], pace);
    }
}

TEST_F(RatsTest, WhackedAfterTick37ShowsThirteenToFortyFourteenToFiftyThenChanges) {
    newGame("0");
    quietTicks(37);
    place(1, 0, 13, 10);  // as a whack between ticks 37 and 38 leaves it
    place(2, 0, 13, 10);  // the same as one whacked between ticks 39 and 40: no step comes between
    for (int t = 38; t <= 40; ++t) EXPECT_EQ(after(1, 0), t == 40 ? 14 : 13) << t;
    EXPECT_EQ(s.ratPos[2][0], 14) << "whacked after tick 39: frame 13 on tick 40 only";
    for (int t = 41; t <= 49; ++t) EXPECT_EQ(after(1, 0), 14) << t;
    // Tick 50: 14 is drawn, then the step empties the holes and changes the character.
    tick({0.0, 0.0, 0.0, 0.5, 0.0});
    EXPECT_EQ(s.ratPos[1][0], 0);
    EXPECT_EQ(s.ratKind, 1);
    EXPECT_EQ(s.firstKind, 0);
    EXPECT_EQ(s.ratPace[1][0], 10) << "the pace stays when the hole empties";
}

TEST_F(RatsTest, CharacterChangeDrawsKindThenDiceAndOnlyFourToSixSpeak) {
    newGame("0");
    host.takeEvents();
    quietTicks(9);
    struct Case {
        double kindDraw, diceDraw;
        std::int16_t kind;
        const char* cue;
    };
    const Case cases[] = {
        {0.0, 4.0 / 7, 0, "\\WISEGUY.wav"},     {0.0, 5.0 / 7, 0, "\\C_whop1.wav"},
        {0.0, 6.0 / 7, 0, "\\Naaaaaa.wav"},     {0.34, 4.0 / 7, 1, "\\fathead.wav"},
        {0.34, 5.0 / 7, 1, "\\vavavoo.wav"},    {0.34, 6.5 / 7, 1, "\\CANTSEE.wav"},
        {0.67, 4.5 / 7, 2, "\\no.wav"},         {0.67, 5.0 / 7, 2, "\\hereiam.wav"},
        {0.9999, 0.9999, 2, "\\meepmeep.wav"},  {0.5, 3.99 / 7, 1, nullptr},
        {0.0, 0.0, 0, nullptr},                 {0.7, 2.0 / 7, 2, nullptr},
    };
    for (const Case& c : cases) {
        // Each case: a rat at 14 steps on the next multiple of 10.
        while ((*s.ticks + 1) % 10 != 0) tick({0.0});
        place(2, 1, 14, 10);
        host.takeEvents();
        tick({0.0, c.kindDraw, c.diceDraw});
        EXPECT_EQ(s.ratKind, c.kind);
        EXPECT_EQ(s.firstKind, c.kind == 0 ? 1 : 0);
        if (c.cue) {
            EXPECT_THAT(host.cues(), ElementsAre(c.cue));
        } else {
            EXPECT_TRUE(host.cues().empty()) << "dice " << s.dice;
        }
    }
}

TEST_F(RatsTest, TwoWhackedRatsEndingInOneTickChangeTwiceInLoopOrder) {
    newGame("0");
    quietTicks(9);
    place(2, 2, 14, 10);  // visited last
    place(0, 1, 14, 10);  // visited before it
    host.takeEvents();
    tick({0.0, 0.0, 4.0 / 7, 0.7, 6.0 / 7});
    EXPECT_THAT(host.cues(), ElementsAre("\\WISEGUY.wav", "\\meepmeep.wav"));
    EXPECT_EQ(s.ratKind, 2);
    EXPECT_EQ(s.firstKind, 0);
}

TEST_F(RatsTest, CharacterChangeMidTickLeavesTheRestOfTheTickOnTheOldSheets) {
    newGame("0");
    quietTicks(9);
    place(0, 0, 14, 10);  // visited first; changes the character to 2
    place(2, 2, 5, 3);    // visited last; must still be drawn from character 0's sheets
    // Mark character 0's image sheet and character 2's image sheet differently.
    surfaces.Picmsk.image().fill(Qt::black);
    surfaces.Picimg.image().fill(QColor(255, 0, 0));
    surfaces.Picmsk3.image().fill(Qt::black);
    surfaces.Picimg3.image().fill(QColor(0, 0, 255));
    tick({0.0, 0.9, 0.0});
    EXPECT_EQ(s.ratKind, 2);
    const QRgb atRat = surfaces.Picbuf.image().pixel(222, 134 - 10);  // inside hole (2,2)'s frame
    EXPECT_EQ(atRat, QColor(255, 0, 0).rgb());
    tick({0.0});
    EXPECT_EQ(surfaces.Picbuf.image().pixel(222, 134 - 10), QColor(0, 0, 255).rgb());
}

TEST_F(RatsTest, RatsLeftAtTheEndOfARoundGoOnWithTheNextRoundsTicks) {
    newGame("0");
    quietTicks(999);
    place(0, 2, 1, 7);   // still up: charged in the next round
    s.score = 0;
    quietTicks(1);       // tick 1000, not a multiple of 7
    place(1, 2, 13, 10); // whacked after the round
    EXPECT_EQ(s.ratPos[0][2], 1);
    EXPECT_EQ(s.score, 0);
    newGame("0");
    quietTicks(7);
    EXPECT_EQ(s.ratPos[0][2], 0);
    EXPECT_EQ(s.score, -20);
    quietTicks(2);
    EXPECT_EQ(s.ratPos[1][2], 13);
    quietTicks(1);  // tick 10
    EXPECT_EQ(s.ratPos[1][2], 14);
    quietTicks(9);
    tick({0.0, 0.0, 0.0});  // tick 20
    EXPECT_EQ(s.ratPos[1][2], 0);
}

TEST_F(RatsTest, RatSinkingOnTickThousandLosesItsPointsAfterTheHighScoreStep) {
    scores::writeFileAtomically(path("Scores.txt"), scores::initialScoresText());
    newGame("0");
    quietTicks(999);
    place(0, 0, 1, 1);
    s.score = 101;  // would be fifth at the high-score step, 81 would not
    host.answers({"ME"});
    quietTicks(1);
    EXPECT_EQ(s.score, 81);
    const std::string text = scores::readFile(path("Scores.txt")).text;
    EXPECT_NE(text.find("\"ME \",101\r\n"), std::string::npos);
}

}  // namespace
}  // namespace bopatron::testing
