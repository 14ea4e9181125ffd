// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// Start-up, "New Game" and the tick: the order of their steps and the round's bookkeeping.
#include "draw/compositor.h"
#include "game/form1.h"
#include "runtime/basic.h"
#include "scores/score_file.h"
#include "tests/game_fixture.h"

#include <gmock/gmock.h>

namespace bopatron::testing {
namespace {

using ::testing::ElementsAre;

const std::string kPrompt = "input Choose a difficulty from 0 to 8\r8 being the hardest.";

TEST_F(GameTest, LoadSeedsStopsTheClockSetsTheArrowAndPlacesEveryHoleEmptyCreatingNoFile) {
    s.ratPos[1][2] = 7;  // a leftover that the placing must clear
    form.Form_Load();     // with no sprite table in the folder
    EXPECT_THAT(host.events(), ElementsAre("randomize", "clock off", "pointer 0"));
    const std::int16_t expectX[3][3] = {{187, 247, 304}, {127, 189, 262}, {75, 146, 222}};
    const std::int16_t expectY[3][3] = {{48, 58, 66}, {79, 90, 98}, {116, 126, 134}};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            EXPECT_EQ(s.holeX[row][col], expectX[row][col]) << row << "," << col;
            EXPECT_EQ(s.holeY[row][col], expectY[row][col]) << row << "," << col;
            EXPECT_EQ(s.ratPos[row][col], 0);
        }
    }
    EXPECT_FALSE(s.ticks.has_value());
    EXPECT_EQ(surfaces.Picbuf.image().pixel(200, 200), QColor(0, 128, 0).rgb()) << "the background";
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path("whack_img.spr"))));
}

TEST_F(GameTest, NewGameAsksWithoutTitleThenStartsClockHidesPointerAndPlaysOneOfFourOpenings) {
    load();
    newGame("3", 0.0);
    EXPECT_THAT(host.events(), ElementsAre(kPrompt, "clock on", "pointer 99", "cue \\moideryou.wav"));
    EXPECT_EQ(s.ticks, std::optional<std::int16_t>(0));
    EXPECT_EQ(s.difficulty, 3);
    host.takeEvents();
    for (double draw : {0.2499, 0.25, 0.5, 0.7499, 0.75, 0.99999}) newGame("0", draw);
    EXPECT_THAT(host.cues(), ElementsAre("\\moideryou.wav", "\\knockbrains.wav", "\\fault.wav", "\\fault.wav",
                                         "\\bare.wav", "\\bare.wav"));
}

TEST(Difficulty, TypedAnswersBecomeDifficultiesClampedToWhatPlays) {
    const std::pair<const char*, int> cases[] = {
        {"", 0},       {"8", 8},         {"12", 8},          {"-3", -3},         {"2.5", 2},
        {"3.5", 4},    {"3.7", 4},       {"abc", 0},         {"5 apples", 5},    {"   6", 6},
        {"8.5", 8},    {"40000", 8},     {"1e999", 8},       {"-32737", -32737}, {"-32737.4", -32737},
        {"-32738", -32737}, {"-40000", -32737}, {"-1e999", -32737},
    };
    for (const auto& [answer, difficulty] : cases) EXPECT_EQ(game::difficultyFromAnswer(answer), difficulty) << answer;
}

TEST_F(GameTest, LowestDifficultyStillPlays) {
    load();
    newGame("-99999");
    EXPECT_EQ(s.difficulty, -32737);
    // 1/32767 to 2/32767 is the winning range; the pace then is Int(r * 32745) + 1.
    tick({1.5 / 32767, 0.0, 0.0, 0.5});
    EXPECT_EQ(s.ratPos[0][0], 12);
    EXPECT_EQ(s.ratPace[0][0], 16373);
}

TEST_F(GameTest, NewGameMidRoundResetsCountAndScoreOnly) {
    load();
    newGame("8");
    quietTicks(499);
    place(1, 1, 7, 3);
    s.score = 45;
    s.handX = 33;
    s.handY = 44;
    s.handDown = 1;
    s.ratKind = 2;
    s.firstKind = 0;
    tick({0.0});  // tick 500
    newGame("2", 0.5);
    EXPECT_EQ(s.ticks, std::optional<std::int16_t>(0));
    EXPECT_EQ(s.score, 0);
    EXPECT_EQ(s.difficulty, 2);
    EXPECT_EQ(s.ratPos[1][1], 7);  // tick 500 is not a multiple of 3
    EXPECT_EQ(s.ratPace[1][1], 3);
    EXPECT_EQ(s.handX, 33);
    EXPECT_EQ(s.handY, 44);
    EXPECT_EQ(s.handDown, 1);
    EXPECT_EQ(s.ratKind, 2);
    host.takeEvents();
    quietTicks(10);  // one draw each when no rat is attempted
    EXPECT_EQ(s.ticks, std::optional<std::int16_t>(10));
    EXPECT_TRUE(host.events().empty());
}

TEST_F(GameTest, TickThousandRunsHighScoresThenStopsClockThenRestoresArrowAndFinishes) {
    load();
    scores::writeFileAtomically(path("Scores.txt"), scores::initialScoresText());
    newGame("0");
    quietTicks(998);
    place(2, 2, 5, 1);  // steps to 4 on tick 999 and to 3 on tick 1000
    s.score = 999;
    tick({0.0});
    host.takeEvents();
    host.answers({"ABC"});
    const long before = surfaces.transfers;
    tick({0.0});
    EXPECT_THAT(host.events(), ElementsAre("cue \\one.wav", "input You're Number One!!! Enter your initials.|Top 5",
                                           "clock off", "pointer 0"));
    // The rest of the tick ran: background, one rat, hand, present.
    EXPECT_EQ(surfaces.transfers - before, 1 + 2 + 2 + 1);
    EXPECT_EQ(s.ratPos[2][2], 3);
    EXPECT_EQ(s.ticks, std::optional<std::int16_t>(1000));
}

TEST_F(GameTest, SecondRoundGoesOnWithTheHolesTheFirstLeft) {
    load();
    newGame("0");
    quietTicks(995);
    place(0, 1, 12, 7);
    quietTicks(5);  // ticks 996..1000; 1000 is not a multiple of 7, 1001 would not happen
    EXPECT_FALSE(host.clockEnabled);
    EXPECT_EQ(s.ratPos[0][1], 12);
    newGame("0");
    quietTicks(7);  // tick 7 is the first multiple of the pace
    EXPECT_EQ(s.ratPos[0][1], 11);
}

}  // namespace
}  // namespace bopatron::testing
