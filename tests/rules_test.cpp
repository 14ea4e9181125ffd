// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The rules: start-up, "New Game", the tick, the rats' lives, the character
// change and whacking, with scripted random draws; then many rounds at random.
#include "scores/score_file.h"
#include "tests/fixture.h"

#include <cmath>

#include <gmock/gmock.h>

namespace bopatron::testing {
namespace {

using ::testing::ElementsAre;
using Pair = std::pair<std::int16_t, std::int16_t>;

TEST_F(GameTest, LoadSeedsStopsTheClockSetsTheArrowAndPlacesEveryHoleEmptyCreatingNoFile) {
    s.ratPos[1][2] = 7;  // a leftover that the placing must clear
    form.Form_Load();     // with no sprite table in the folder
    EXPECT_THAT(host.events, ElementsAre("randomize", "clock off", "pointer 0"));
    const std::int16_t x[3][3] = {{187, 247, 304}, {127, 189, 262}, {75, 146, 222}};
    const std::int16_t y[3][3] = {{48, 58, 66}, {79, 90, 98}, {116, 126, 134}};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            EXPECT_EQ(std::tuple(s.holeX[row][col], s.holeY[row][col], s.ratPos[row][col]),
                      std::tuple(x[row][col], y[row][col], 0));
    EXPECT_FALSE(s.ticks.has_value());
    EXPECT_EQ(surfaces.Picbuf.pixel(200, 200), testing::kGreen) << "the background";
    EXPECT_FALSE(std::filesystem::exists(path("whack_img.spr")));
}

TEST_F(GameTest, NewGameAsksWithoutTitleThenStartsClockHidesPointerAndPlaysOneOfFourOpenings) {
    load();
    newGame("3", 0.0);
    EXPECT_THAT(host.take(), ElementsAre("input Choose a difficulty from 0 to 8\r8 being the hardest.", "clock on",
                                         "pointer 99", "cue \\moideryou.wav"));
    EXPECT_EQ(s.ticks, std::optional<std::int16_t>(0));
    EXPECT_EQ(s.difficulty, 3);
    for (double draw : {0.2499, 0.25, 0.5, 0.7499, 0.75, 0.99999}) newGame("0", draw);
    EXPECT_THAT(host.cues(), ElementsAre("\\moideryou.wav", "\\knockbrains.wav", "\\fault.wav", "\\fault.wav",
                                         "\\bare.wav", "\\bare.wav"));
}

TEST(Difficulty, TypedAnswersBecomeDifficultiesClampedToWhatPlays) {
    const std::pair<const char*, int> cases[] = {
        {"", 0},         {"8", 8},      {"12", 8},      {"-3", -3},        {"2.5", 2},         {"3.5", 4},
        {"3.7", 4},      {"abc", 0},    {"5 apples", 5}, {"   6", 6},      {"8.5", 8},         {"40000", 8},
        {"1e999", 8},    {"-32737", -32737}, {"-32737.4", -32737}, {"-32738", -32737}, {"-1e999", -32737},
    };
    for (const auto& [answer, difficulty] : cases) EXPECT_EQ(game::difficultyFromAnswer(answer), difficulty) << answer;
}

TEST_F(GameTest, LowestDifficultyStillPlays) {
    load();
    newGame("-99999");
    // 1/32767 to 2/32767 is the winning range; the pace then is Int(r * 32745) + 1.
    tick({1.5 / 32767, 0.0, 0.0, 0.5});
    EXPECT_EQ(std::tuple(s.difficulty, s.ratPos[0][0], s.ratPace[0][0]), std::tuple(-32737, 12, 16373));
}

TEST_F(GameTest, TickThousandRunsHighScoresThenStopsClockThenRestoresArrowAndFinishes) {
    load();
    runtime::replaceFile(path("Scores.txt"), scores::initialScoresText());
    newGame("0");
    quietTicks(998);
    place(2, 2, 5, 1);  // steps to 4 on tick 999 and to 3 on tick 1000
    s.score = 999;
    tick();
    host.take();
    host.answers({"ABC"});
    const long before = surfaces.transfers;
    tick();
    EXPECT_THAT(host.events, ElementsAre("cue \\one.wav", "input You're Number One!!! Enter your initials.|Top 5",
                                         "clock off", "pointer 0"));
    EXPECT_EQ(surfaces.transfers - before, 1 + 2 + 2 + 1) << "the rest of the tick: background, a rat, hand, present";
    EXPECT_EQ(std::tuple(s.ratPos[2][2], *s.ticks), std::tuple(3, 1000));
}

class RatsTest : public GameTest {
protected:
    void SetUp() override { load(); }
    // popuprats at a difficulty with the given draws.
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
};

TEST_F(RatsTest, SpawnTestPassesFromOneNthUpToButNotIncludingTwoNths) {
    for (std::int16_t d : {8, 5, 0, -10}) {
        const double n = 30 - d;
        for (double miss : {std::nextafter(1.0 / n, 0.0), 2.0 / n, 0.0, 0.999}) spawn(d, {miss});
        EXPECT_EQ(ratsUp(), 0) << "difficulty " << d;
        for (double hit : {1.0 / n, std::nextafter(2.0 / n, 0.0)}) {
            spawn(d, {hit, 0.0, 0.0, 0.0});
            EXPECT_EQ(s.ratPos[0][0], 12) << hit << " at difficulty " << d;
            s.ratPos[0][0] = 0;
        }
    }
}

TEST_F(RatsTest, FirstPickDrawIsTheRowSecondTheColumnScaledByTwoPointNineNine) {
    const double win = 1.0 / 30;
    spawn(0, {win, 0.99, 0.0, 0.0});  // 0.99 * 2.99 = 2.96: row 2
    spawn(0, {win, 0.0, 2.0 / 2.99, 0.0});  // exactly 2.0: column 2
    spawn(0, {win, std::nextafter(1.0 / 2.99, 0.0), 0.5, 0.0});
    spawn(0, {win, 0.9999999, 0.4, 0.0});
    EXPECT_EQ(std::vector<int>({s.ratPos[2][0], s.ratPos[0][2], s.ratPos[0][1], s.ratPos[2][1]}),
              std::vector<int>(4, 12));
    EXPECT_EQ(ratsUp(), 4);
}

TEST_F(RatsTest, PaceIsOneToEightMinusDifficultyEachEquallyLikely) {
    const std::tuple<std::int16_t, double, std::int16_t> cases[] = {
        {8, 0.999, 1}, {7, 0.999, 1}, {6, 0.0, 1},       {6, 0.5, 2},     {6, 0.4999, 1},  {5, 0.999, 3},  {0, 0.0, 1},
        {0, 0.999999, 8}, {0, 0.125, 2}, {0, 0.1249, 1}, {-10, 0.999, 18}, {-10, 0.0, 1}, {1, 6.0 / 7, 7},
    };
    for (const auto& [difficulty, draw, pace] : cases) {
        s.ratPos[1][1] = 0;
        spawn(difficulty, {1.0 / (30 - difficulty), 0.5, 0.5, draw});
        EXPECT_EQ(std::pair(s.ratPos[1][1], s.ratPace[1][1]), Pair(12, pace))
            << "difficulty " << difficulty << " draw " << draw;
    }
}

TEST_F(RatsTest, PickOfAnOccupiedHoleStopsAfterThreeDrawsAndTriesNoOther) {
    place(1, 1, 13, 10);
    spawn(0, {1.0 / 30, 0.5, 0.5});
    place(0, 0, 4, 2);
    spawn(0, {1.0 / 30, 0.0, 0.0});
    EXPECT_EQ(ratsUp(), 2);
    EXPECT_EQ(std::tuple(s.ratPos[1][1], s.ratPace[1][1], s.ratPos[0][0], s.ratPace[0][0]), std::tuple(13, 10, 4, 2));
}

TEST_F(RatsTest, RatWithPace3PoppedOnTick10SinksOnTick45AndCostsTwentyThen) {
    newGame("5");
    quietTicks(9);
    tick({1.0 / 25, 0.5, 0.5, 0.7});  // tick 10: pace Int(0.7 * 3) + 1 = 3
    ASSERT_EQ(s.ratPace[1][1], 3);
    s.score = 50;
    std::vector<std::int16_t> positions{s.ratPos[1][1]};  // after tick 10
    for (int t = 11; t <= 46; ++t) {
        tick();
        positions.push_back(s.ratPos[1][1]);
    }
    // After ticks 10, 11: 12; tick 12 steps to 11; then one step every 3 ticks.
    const std::pair<int, int> expected[] = {{10, 12}, {11, 12}, {12, 11}, {15, 10}, {18, 9}, {42, 1}, {44, 1}, {45, 0}};
    for (const auto& [t, pos] : expected) EXPECT_EQ(positions[t - 10], pos) << "after tick " << t;
    EXPECT_EQ(s.score, 30) << "20 lost on tick 45, once";
    EXPECT_EQ(s.ratKind, 0) << "a rat that sinks back never changes the character";
}

TEST_F(RatsTest, PaceOneRatIsOnScreenTwelveTicksAndCostsOnTickElevenAfter) {
    newGame("8");
    quietTicks(99);
    tick({1.0 / 22, 0.0, 0.0, 0.0});  // tick 100: popped on a multiple of its pace, it steps at once
    EXPECT_EQ(s.ratPos[0][0], 11);
    quietTicks(10);  // ticks 101..110
    EXPECT_EQ(std::pair(s.ratPos[0][0], s.score), Pair(1, 0));
    quietTicks(1);
    EXPECT_EQ(std::pair(s.ratPos[0][0], s.score), Pair(0, -20));
}

TEST_F(RatsTest, EmptyHoleNeverChangesWhateverItsLeftoverPace) {
    s.ticks = 12;
    for (std::int16_t pace : {0, 1, 5, 10}) {
        place(2, 2, 0, pace);
        form.updateRat({}, 2, 2);
        EXPECT_EQ(std::pair(s.ratPos[2][2], s.ratPace[2][2]), Pair(0, pace));
    }
}

TEST_F(RatsTest, WhackedAfterTick37ShowsThirteenToFortyFourteenToFiftyThenChanges) {
    newGame("0");
    quietTicks(37);
    place(1, 0, 13, 10);  // as a whack between ticks 37 and 38 leaves it
    place(2, 0, 13, 10);  // the same as one whacked between ticks 39 and 40: no step comes between
    for (int t = 38; t <= 49; ++t) {
        tick();
        EXPECT_EQ(s.ratPos[1][0], t >= 40 ? 14 : 13) << t;
    }
    EXPECT_EQ(s.ratPos[2][0], 14);
    tick({0.0, 0.0, 0.0, 0.5, 0.0});  // tick 50: 14 is drawn, then the holes empty and the character changes
    EXPECT_EQ(std::tuple(s.ratPos[1][0], s.ratPace[1][0], s.ratKind, s.firstKind), std::tuple(0, 10, 1, 0));
}

TEST_F(RatsTest, CharacterChangeDrawsKindThenDiceAndOnlyFourToSixSpeak) {
    newGame("0");
    quietTicks(9);
    const std::tuple<double, double, std::int16_t, const char*> cases[] = {
        {0.0, 4.0 / 7, 0, "\\WISEGUY.wav"},   {0.0, 5.0 / 7, 0, "\\C_whop1.wav"},   {0.0, 6.0 / 7, 0, "\\Naaaaaa.wav"},
        {0.34, 4.0 / 7, 1, "\\fathead.wav"},  {0.34, 5.0 / 7, 1, "\\vavavoo.wav"},  {0.34, 6.5 / 7, 1, "\\CANTSEE.wav"},
        {0.67, 4.5 / 7, 2, "\\no.wav"},       {0.67, 5.0 / 7, 2, "\\hereiam.wav"},  {0.9999, 0.9999, 2, "\\meepmeep.wav"},
        {0.5, 3.99 / 7, 1, nullptr},          {0.0, 0.0, 0, nullptr},               {0.7, 2.0 / 7, 2, nullptr},
    };
    for (const auto& [kindDraw, diceDraw, kind, cue] : cases) {
        while ((*s.ticks + 1) % 10 != 0) tick();
        place(2, 1, 14, 10);  // steps on the coming multiple of 10
        host.take();
        tick({0.0, kindDraw, diceDraw});
        EXPECT_EQ(std::pair(s.ratKind, s.firstKind), Pair(kind, kind == 0));
        EXPECT_EQ(host.cues(), cue ? std::vector<std::string>{cue} : std::vector<std::string>{}) << s.dice;
    }
}

TEST_F(RatsTest, TwoWhackedRatsEndingInOneTickChangeTwiceInLoopOrder) {
    newGame("0");
    quietTicks(9);
    place(2, 2, 14, 10);  // visited last
    place(0, 1, 14, 10);  // visited before it
    host.take();
    tick({0.0, 0.0, 4.0 / 7, 0.7, 6.0 / 7});
    EXPECT_THAT(host.cues(), ElementsAre("\\WISEGUY.wav", "\\meepmeep.wav"));
    EXPECT_EQ(std::pair(s.ratKind, s.firstKind), Pair(2, 0));
}

TEST_F(RatsTest, CharacterChangeMidTickLeavesTheRestOfTheTickOnTheOldSheets) {
    newGame("0");
    quietTicks(9);
    place(0, 0, 14, 10);  // visited first; changes the character to 2
    place(2, 2, 5, 3);    // visited last; still drawn from character 0's sheets
    surfaces.Picmsk.fill(testing::kBlack);
    surfaces.Picimg.fill(testing::kRed);
    surfaces.Picmsk3.fill(testing::kBlack);
    surfaces.Picimg3.fill(testing::kBlue);
    tick({0.0, 0.9, 0.0});
    EXPECT_EQ(s.ratKind, 2);
    EXPECT_EQ(surfaces.Picbuf.pixel(222, 124), testing::kRed) << "inside hole (2,2)'s frame";
    tick();
    EXPECT_EQ(surfaces.Picbuf.pixel(222, 124), testing::kBlue);
}

TEST_F(RatsTest, RatSinkingOnTickThousandLosesItsPointsAfterTheHighScoreStep) {
    runtime::replaceFile(path("Scores.txt"), scores::initialScoresText());
    newGame("0");
    quietTicks(999);
    place(0, 0, 1, 1);
    s.score = 101;  // would be fifth at the high-score step, 81 would not
    host.answers({"ME"});
    quietTicks(1);
    EXPECT_EQ(s.score, 81);
    EXPECT_NE(runtime::readFile(path("Scores.txt"), 4096).text.find("\"ME \",101\r\n"), std::string::npos);
}

// Frames are 40 x 40 at (-20, -30) from the anchor: hole (0, 0) at (187, 48)
// has the rectangle 167 < X < 207, 18 < Y < 58.
class WhackTest : public RatsTest {
protected:
    void press(float x, float y) { form.Form_MouseDown(1, 0, x, y); }
};

TEST_F(WhackTest, HandSitsFifteenLeftAndFortyAboveAndAnyPressLowersItAnyReleaseRaisesIt) {
    const std::tuple<float, float, int, int> cases[] = {
        {100, 100, 85, 60}, {17.5f, 42.5f, 2, 2}, {18.5f, 43.5f, 4, 4}, {0, 0, -15, -40}};  // halves to even
    for (const auto& [x, y, handX, handY] : cases) {
        form.Form_MouseMove(0, 0, x, y);
        EXPECT_EQ(std::pair(s.handX, s.handY), Pair(handX, handY)) << x;
    }
    form.Form_MouseDown(2, 3, 5.0f, 5.0f);
    EXPECT_EQ(s.handDown, 1);
    form.Form_MouseUp(4, 0, 5.0f, 5.0f);
    EXPECT_EQ(s.handDown, 0);
}

TEST_F(WhackTest, APressScoresThreeTimesThePositionOfARatStrictlyInsideItsFrame) {
    const std::tuple<std::int16_t, float, float, int> cases[] = {  // position, press, points (0: a miss)
        {12, 167, 30, 0}, {12, 180, 18, 0}, {12, 207, 30, 0}, {12, 180, 58, 0},  // on the edges
        {12, 168, 19, 36}, {6, 167.25f, 57.75f, 18}, {1, 187, 40, 3},            // inside
        {13, 187, 40, 0}, {14, 187, 40, 0}, {0, 187, 40, 0},                     // whacked, empty
    };
    for (const auto& [pos, x, y, points] : cases) {
        place(0, 0, pos, 3);
        s.score = 0;
        s.handDown = 1;  // a press while the hand is down whacks too
        if (points) host.draws({0.0});
        press(x, y);
        EXPECT_EQ(std::tuple(s.score, host.take().size(), s.ratPace[0][0]),
                  std::tuple(points, points ? 1u : 0u, points ? 10 : 3)) << pos << " at " << x << "," << y;
    }
    s.spr.sprW[5] = 0;  // a frame of zero size
    place(0, 0, 5, 1);
    press(187.0f, 40.0f);
    EXPECT_EQ(s.score, 0);
}

TEST_F(WhackTest, HitCueFollowsTheDiceAndTheFirstCharacter) {
    const std::tuple<std::int16_t, double, const char*> cases[] = {
        {1, 0.0, "\\whack_pop.wav"},    {1, 2.9 / 6, "\\whack_pop.wav"},  {0, 0.0, "\\whack_pop3.wav"},
        {0, 2.5 / 6, "\\whack_pop3.wav"}, {1, 3.0 / 6, "\\whack_pop2.wav"}, {0, 3.5 / 6, "\\whack_pop2.wav"},
        {1, 4.0 / 6, "\\Plink.wav"},     {0, 4.9 / 6, "\\Plink.wav"},      {1, 5.0 / 6, "\\boink.wav"},
        {0, 0.99999, "\\boink.wav"},
    };
    EXPECT_EQ(s.firstKind, 0) << "after start-up a low dice plays pop three";
    for (const auto& [firstKind, draw, cue] : cases) {
        s.firstKind = firstKind;
        place(2, 2, 9, 4);
        host.take();
        host.draws({draw});
        press(222.0f, 120.0f);
        EXPECT_THAT(host.cues(), ElementsAre(cue)) << "draw " << draw;
    }
}

TEST_F(WhackTest, OnePressHitsEveryOverlappingRatEachWithItsOwnDraw) {
    // Frame 4 made wide: hole (1, 0)'s frame 4 (107 < X < 307, 49 < Y < 89) then
    // overlaps hole (0, 1)'s frame 12 (227 < X < 267, 28 < Y < 68).
    s.spr.sprW[4] = 200;
    place(0, 1, 12, 2);
    place(1, 0, 4, 2);
    place(2, 2, 12, 2);  // not under the pointer
    host.draws({4.0 / 6, 5.0 / 6});
    press(240.0f, 60.0f);
    EXPECT_EQ(s.score, 3 * 4 + 3 * 12);
    EXPECT_THAT(host.cues(), ElementsAre("\\Plink.wav", "\\boink.wav"));
    EXPECT_EQ(std::tuple(s.ratPos[1][0], s.ratPos[0][1], s.ratPos[2][2], s.dice), std::tuple(13, 13, 12, 5));
}

TEST_F(WhackTest, PressesBeforeAnyRoundScoreNothingAndAfterARoundStillScoreAndPlay) {
    for (float x = 0; x < 437; x += 7)
        for (float y = 0; y < 284; y += 7) press(x, y);
    EXPECT_EQ(s.score, 0);
    EXPECT_TRUE(host.events.empty());
    newGame("0");
    quietTicks(1000);
    host.take();
    place(0, 1, 8, 3);
    host.draws({0.0});
    press(247.0f, 50.0f);
    EXPECT_EQ(s.score, 24);
    EXPECT_THAT(host.cues(), ElementsAre("\\whack_pop3.wav"));
}

// Five hundred rounds at random difficulties with random mouse events between
// ticks. The score is counted from the holes alone: 3 x f for each rat up at f
// whose frame holds the press strictly inside, 20 off for each rat at 1 whose
// pace divides the coming tick.
class Soak : public GameTest {
protected:
    std::mt19937 random{20261207};
};

TEST_F(Soak, FiveHundredRoundsKeepTheStateAndTheTableSound) {
    load();
    host.random = &random;
    const auto pick = [this](int n) { return static_cast<int>(random() % n); };
    for (int round = 0; round < 500; ++round) {
        newGame(pick(10) == 0 ? std::to_string(-pick(100)) : std::to_string(pick(9)), 0.0);
        long expected = 0;
        while (host.clockEnabled) {
            for (int e = pick(3); e > 0; --e) {
                const int x = pick(437), y = pick(284), kind = pick(4);
                for (int col = 0; col < 3 && kind == 0; ++col)
                    for (int row = 0; row < 3; ++row) {
                        const int f = s.ratPos[row][col], left = s.holeX[row][col] - 20, top = s.holeY[row][col] - 30;
                        if (f >= 1 && f <= 12 && left < x && x < left + 40 && top < y && y < top + 40) expected += 3 * f;
                    }
                if (kind == 0) form.Form_MouseDown(1, 0, float(x), float(y));
                if (kind == 1) form.Form_MouseUp(1, 0, float(x), float(y));
                if (kind >= 2) form.Form_MouseMove(0, 0, float(x), float(y));
            }
            for (int row = 0; row < 3; ++row)
                for (int col = 0; col < 3; ++col)
                    expected -= s.ratPos[row][col] == 1 && (*s.ticks + 1) % s.ratPace[row][col] == 0 ? 20 : 0;
            form.Timer1_Timer();
            ASSERT_EQ(s.score, expected) << "round " << round << " tick " << *s.ticks;
            for (int hole = 0; hole < 9; ++hole) {
                const int pos = s.ratPos[hole / 3][hole % 3];
                ASSERT_TRUE(pos >= 0 && pos <= 14 && (pos == 0 || s.ratPace[hole / 3][hole % 3] >= 1)) << pos;
            }
            ASSERT_TRUE(s.ratKind >= 0 && s.ratKind <= 2);
        }
        ASSERT_EQ(*s.ticks, 1000);
        const std::string text = runtime::readFile(path("Scores.txt"), 4096).text;
        std::string rewritten;
        for (const auto& r : scores::parseRecords(text)) rewritten += scores::formatRecord(r.initials, std::stoi(r.scoreText));
        ASSERT_EQ(scores::parseRecords(text).size(), 5u) << text;
        ASSERT_EQ(rewritten, text) << "the table reads back as written";
        EXPECT_EQ(std::count_if(host.events.begin(), host.events.end(), [](auto& e) { return e.starts_with("message"); }), 0);
        host.take();
    }
}

}  // namespace
}  // namespace bopatron::testing
