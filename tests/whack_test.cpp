// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// Whacking: the hand follows the pointer, a press scores every rat strictly
// under it and plays a hit cue, a release raises the hand.
#include "tests/game_fixture.h"

#include <gmock/gmock.h>

namespace bopatron::testing {
namespace {

using ::testing::ElementsAre;

class WhackTest : public GameTest {
protected:
    void SetUp() override { load(); }
    void press(float x, float y) { form.Form_MouseDown(1, 0, x, y); }
};

// Frames are 40 x 40 at (-20, -30) from the anchor: hole (0, 0) at (187, 48)
// has the rectangle 167 < X < 207, 18 < Y < 58.

TEST_F(WhackTest, HandSitsFifteenLeftAndFortyAboveThePointerRoundedHalfToEven) {
    form.Form_MouseMove(0, 0, 100.0f, 100.0f);
    EXPECT_EQ(s.handX, 85);
    EXPECT_EQ(s.handY, 60);
    form.Form_MouseMove(0, 0, 17.5f, 42.5f);  // 2.5 and 2.5
    EXPECT_EQ(s.handX, 2);
    EXPECT_EQ(s.handY, 2);
    form.Form_MouseMove(0, 0, 18.5f, 43.5f);
    EXPECT_EQ(s.handX, 4);
    EXPECT_EQ(s.handY, 4);
    form.Form_MouseMove(0, 0, 0.0f, 0.0f);
    EXPECT_EQ(s.handX, -15);
    EXPECT_EQ(s.handY, -40);
}

TEST_F(WhackTest, PressLowersReleaseRaisesAndAnyButtonActsAlike) {
    form.Form_MouseDown(2, 3, 5.0f, 5.0f);
    EXPECT_EQ(s.handDown, 1);
    form.Form_MouseDown(4, 0, 5.0f, 5.0f);
    EXPECT_EQ(s.handDown, 1);
    form.Form_MouseUp(2, 0, 5.0f, 5.0f);
    EXPECT_EQ(s.handDown, 0);
}

TEST_F(WhackTest, BeforeAnyRoundAPressAnywhereScoresNothing) {
    for (float x = 0; x < 437; x += 7)
        for (float y = 0; y < 284; y += 7) press(x, y);
    EXPECT_EQ(s.score, 0);
    EXPECT_TRUE(host.events().empty());
}

TEST_F(WhackTest, PressOnTheLeftOrTopEdgeMissesOnePixelInsideHits) {
    place(0, 0, 12, 3);
    press(167.0f, 30.0f);
    press(180.0f, 18.0f);
    press(207.0f, 30.0f);
    press(180.0f, 58.0f);
    EXPECT_EQ(s.ratPos[0][0], 12);
    EXPECT_EQ(s.score, 0);
    host.draws({0.0});
    press(168.0f, 19.0f);
    EXPECT_EQ(s.ratPos[0][0], 13);
    EXPECT_EQ(s.ratPace[0][0], 10);
    EXPECT_EQ(s.score, 36);
}

TEST_F(WhackTest, AFractionInsideTheEdgeHits) {
    place(0, 0, 6, 3);
    host.draws({0.0});
    press(167.25f, 57.75f);
    EXPECT_EQ(s.score, 18);
}

TEST_F(WhackTest, PointsAreThreeTimesThePosition) {
    for (std::int16_t f : {12, 7, 1}) {
        place(1, 1, f, 2);
        const std::int16_t before = s.score;
        host.draws({0.0});
        press(189.0f, 80.0f);
        EXPECT_EQ(s.score - before, 3 * f);
    }
}

TEST_F(WhackTest, WhackedRatsCannotBeHitAgain) {
    place(0, 0, 13, 10);
    place(1, 0, 14, 10);
    press(187.0f, 40.0f);
    press(127.0f, 70.0f);
    EXPECT_EQ(s.score, 0);
    EXPECT_TRUE(host.cues().empty());
}

TEST_F(WhackTest, HitCueFollowsTheDiceAndTheFirstCharacter) {
    struct Case {
        std::int16_t firstKind;
        double draw;
        const char* cue;
    };
    const Case cases[] = {
        {1, 0.0, "\\whack_pop.wav"},    {1, 2.9 / 6, "\\whack_pop.wav"}, {0, 0.0, "\\whack_pop3.wav"},
        {0, 2.5 / 6, "\\whack_pop3.wav"}, {1, 3.0 / 6, "\\whack_pop2.wav"}, {0, 3.5 / 6, "\\whack_pop2.wav"},
        {1, 4.0 / 6, "\\Plink.wav"},     {0, 4.9 / 6, "\\Plink.wav"},     {1, 5.0 / 6, "\\boink.wav"},
        {0, 0.99999, "\\boink.wav"},
    };
    for (const Case& c : cases) {
        s.firstKind = c.firstKind;
        place(2, 2, 9, 4);
        host.takeEvents();
        host.draws({c.draw});
        press(222.0f, 120.0f);
        EXPECT_THAT(host.cues(), ElementsAre(c.cue)) << "draw " << c.draw;
    }
}

TEST_F(WhackTest, AfterStartUpALowDiceHitPlaysPopThree) {
    place(0, 0, 10, 1);
    host.draws({0.1});
    press(187.0f, 40.0f);
    EXPECT_THAT(host.cues(), ElementsAre("\\whack_pop3.wav"));
}

TEST_F(WhackTest, OnePressHitsEveryOverlappingRatInLoopOrder) {
    // Frame 4 made taller: hole (0, 0)'s frame 4 (167 < X < 207, 18 < Y < 78) then
    // overlaps hole (1, 1)'s frame 12 (169 < X < 209, 60 < Y < 100).
    s.spr.sprH[4] = 60;
    place(1, 1, 12, 2);  // column 1: visited second
    place(0, 0, 4, 2);   // column 0: visited first
    place(2, 2, 12, 2);  // not under the pointer
    host.draws({4.0 / 6, 5.0 / 6});
    press(190.0f, 70.0f);
    EXPECT_EQ(s.score, 3 * 4 + 3 * 12);
    EXPECT_THAT(host.cues(), ElementsAre("\\Plink.wav", "\\boink.wav"));
    EXPECT_EQ(s.ratPos[0][0], 13);
    EXPECT_EQ(s.ratPos[1][1], 13);
    EXPECT_EQ(s.ratPos[2][2], 12);
    EXPECT_EQ(s.dice, 5);
}

TEST_F(WhackTest, PressWhileHandIsDownStillWhacks) {
    s.handDown = 1;
    place(0, 0, 5, 1);
    host.draws({0.0});
    press(187.0f, 40.0f);
    EXPECT_EQ(s.score, 15);
}

TEST_F(WhackTest, PressesBetweenRoundsStillScoreAndPlay) {
    newGame("0");
    quietTicks(1000);
    host.takeEvents();
    place(0, 1, 8, 3);
    host.draws({0.0});
    press(247.0f, 50.0f);
    EXPECT_EQ(s.score, 24);
    EXPECT_THAT(host.cues(), ElementsAre("\\whack_pop3.wav"));
}

TEST_F(WhackTest, FrameOfZeroSizeCannotBeHit) {
    s.spr.sprW[5] = 0;
    place(0, 0, 5, 1);
    press(187.0f, 40.0f);
    EXPECT_EQ(s.score, 0);
}

}  // namespace
}  // namespace bopatron::testing
