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

TEST_F(WhackTest, HandSitsFifteenLeftAndFortyAboveAndAnyPressLowersItAnyReleaseRaisesIt) {
    const std::tuple<float, float, int, int> cases[] = {
        {100, 100, 85, 60}, {17.5f, 42.5f, 2, 2}, {18.5f, 43.5f, 4, 4}, {0, 0, -15, -40}};  // halves to even
    for (const auto& [x, y, handX, handY] : cases) {
        form.Form_MouseMove(0, 0, x, y);
        EXPECT_EQ(s.handX, handX) << x;
        EXPECT_EQ(s.handY, handY) << y;
    }
    form.Form_MouseDown(2, 3, 5.0f, 5.0f);
    EXPECT_EQ(s.handDown, 1);
    form.Form_MouseUp(4, 0, 5.0f, 5.0f);
    EXPECT_EQ(s.handDown, 0);
}

TEST_F(WhackTest, APressScoresThreeTimesThePositionOfARatStrictlyInsideItsFrame) {
    struct Case {
        std::int16_t pos;
        float x, y;
        int points;  // 0: a miss, nothing drawn, nothing played
    };
    const Case cases[] = {
        {12, 167, 30, 0},  {12, 180, 18, 0}, {12, 207, 30, 0}, {12, 180, 58, 0},  // on the edges
        {12, 168, 19, 36}, {6, 167.25f, 57.75f, 18}, {1, 187, 40, 3},               // inside
        {13, 187, 40, 0},  {14, 187, 40, 0},  {0, 187, 40, 0},                      // whacked, empty
    };
    for (const Case& c : cases) {
        place(0, 0, c.pos, 3);
        s.score = 0;
        s.handDown = 1;  // a press while the hand is down whacks too
        if (c.points) host.draws({0.0});
        press(c.x, c.y);
        EXPECT_EQ(s.score, c.points) << c.pos << " at " << c.x << "," << c.y;
        EXPECT_EQ(host.cues().size(), c.points ? 1u : 0u);
        EXPECT_EQ(s.ratPace[0][0], c.points ? 10 : 3);
        host.takeEvents();
    }
    s.spr.sprW[5] = 0;  // a frame of zero size
    place(0, 0, 5, 1);
    press(187.0f, 40.0f);
    EXPECT_EQ(s.score, 0);
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
    EXPECT_EQ(s.firstKind, 0) << "after start-up a low dice plays pop three";
    for (const Case& c : cases) {
        s.firstKind = c.firstKind;
        place(2, 2, 9, 4);
        host.takeEvents();
        host.draws({c.draw});
        press(222.0f, 120.0f);
        EXPECT_THAT(host.cues(), ElementsAre(c.cue)) << "draw " << c.draw;
    }
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

TEST_F(WhackTest, PressesBeforeAnyRoundScoreNothingAndAfterARoundStillScoreAndPlay) {
    for (float x = 0; x < 437; x += 7)
        for (float y = 0; y < 284; y += 7) press(x, y);
    EXPECT_EQ(s.score, 0);
    EXPECT_TRUE(host.events().empty());
    newGame("0");
    quietTicks(1000);
    host.takeEvents();
    place(0, 1, 8, 3);
    host.draws({0.0});
    press(247.0f, 50.0f);
    EXPECT_EQ(s.score, 24);
    EXPECT_THAT(host.cues(), ElementsAre("\\whack_pop3.wav"));
}

}  // namespace
}  // namespace bopatron::testing
