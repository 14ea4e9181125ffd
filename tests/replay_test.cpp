// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// A session's rounds played again by the game's core: the facts each round
// gives, a replay that goes on where the last stopped (its state kept as
// text), and the snapshot it goes on from.
#include "demo/snapshot.h"
#include "server/replay.h"
#include "server/replay_state.h"
#include "tests/world_fixture.h"

#include <gtest/gtest.h>

#include <tuple>

namespace bopatron::server {
namespace {

using namespace testing_world;

TEST(Replay, ReplayFactsComeFromTheTableStep) {
    struct Case {
        const char* demo;
        int round;
        std::string initials;  // as the table the game wrote keeps them
        std::int16_t score;    // at the table step, as the window showed it
        std::int16_t difficulty;
        bool asked;
        long lines;  // through the round's closing checkpoint
    };
    const Case cases[] = {
        {"two-rounds.dem", 1, "Zo\xeb", 1239, 0, true, 1163},
        {"world-rounds.dem", 1, "ACE", 1488, 1, true, 1555},
        {"two-rounds.dem", 2, "", -269, 4, false, 2226},
        {"world-rounds.dem", 2, "", -37, 6, false, 2667},
        {kValues, 1, "VAL", 1044, 2, true, 1588},
        {kValues, 2, "", 135, 5, false, 2688},
        // A rat gets back in the last tick, after the table step: the round closes at 1.
        {kSunk, 1, "", 21, 0, false, 1739},
    };
    for (const Case& c : cases) {
        const RoundFacts f = replayRound(golden(c.demo), c.round, replayer());
        ASSERT_FALSE(f.failed) << c.demo << ": " << f.failed->message;
        EXPECT_EQ(std::tuple(f.initials, f.score, f.difficulty, f.asked, f.lines),
                  std::tuple(c.initials, c.score, c.difficulty, c.asked, c.lines))
            << c.demo << " round " << c.round;
    }
}

// A session claimed round after round is played once: each replay goes on from
// the state the last one kept (as text, as a store keeps it), and finds the
// same facts as one replay from the first line.
TEST(Replay, AReplayGoesOnWhereTheLastStoppedAndPlaysEachTickOnce) {
    const auto fields = [](const RoundFacts& f) {
        return std::tuple(f.failed.has_value(), f.score, f.difficulty, f.asked, f.initials, f.lines, f.ticks, f.firstTickLine, f.endLine,
                          reactionsJson(f.reactions).dump());
    };
    for (const char* name : {"two-rounds.dem", "world-rounds.dem", kValues}) {
        const std::string text = golden(name);
        int rounds = 0;
        while (scanRound(text, rounds + 1)) ++rounds;
        ASSERT_GE(rounds, 1) << name;
        ReplayState state;
        long ticks = 0;
        for (int round = 1; round <= rounds; ++round) {
            state = parseReplayState(formatReplayState(state));
            const RoundFacts chained = replayRound(text, round, replayer(), state);
            ticks += state.ticksReplayed;
            const RoundFacts straight = replayRound(text, round, replayer());
            ASSERT_FALSE(straight.failed) << name << " round " << round << ": " << straight.failed->message;
            EXPECT_EQ(fields(chained), fields(straight)) << name << " round " << round;
            EXPECT_EQ(ticks, straight.ticks) << name << " round " << round << ": every tick through it played once";
        }
        // A round passed already is answered from the state, without a tick.
        EXPECT_EQ(fields(replayRound(text, 1, replayer(), state)), fields(replayRound(text, 1, replayer()))) << name;
        EXPECT_EQ(state.ticksReplayed, 0) << name;
    }
    // Lines that do not yet show round 2 closed leave the state as it was (round 1
    // replayed on the way is not kept without the point to go on from); with the rest
    // of the lines, the same facts as from the first line.
    const std::string values = golden(kValues);
    ReplayState early;
    const std::string cutShort = values.substr(0, values.rfind("checkpoint 2400 135 "));
    EXPECT_EQ(replayRound(cutShort, 2, replayer(), early).failed->code, "incomplete");
    EXPECT_TRUE(early.rounds.empty());
    EXPECT_EQ(fields(replayRound(values, 2, replayer(), early)), fields(replayRound(values, 2, replayer())));
    // A state that is not one starts again from the first line; a failed round stops the session's replay there.
    ReplayState unusable = parseReplayState(R"({"replay": 1, "rounds": [], "lines": 9, "offset": 99, "core": "bopatron-replay 1"})");
    EXPECT_EQ(replayRound(golden(kValues), 2, replayer(), unusable).score, replayRound(golden(kValues), 2, replayer()).score);
    ReplayState broken;
    const std::string edited = replaced(golden(kValues), "checkpoint 1400 1044 2d69354175046360", "checkpoint 1400 1044 2d69354175046361");
    EXPECT_EQ(replayRound(edited, 2, replayer(), broken).failed->code, "differs");
    ASSERT_EQ(broken.rounds.size(), 1u);
    EXPECT_EQ(replayRound(edited, 2, replayer(), broken).failed->code, "differs");
    EXPECT_EQ(broken.ticksReplayed, 0) << "the round that parted ways is not played again";
}

// A replay restored from a snapshot shows the same frames as the one it was
// taken from: the generator, the game and the back buffer's last column (which
// no background covers: here the hand left pixels there) go on alike.
TEST(Replay, ASnapshotGoesOnWithTheSameFrames) {
    struct Replay {
        explicit Replay(const demo::Demo& d) : host(d, BOPATRON_PROGRAM_DIR) {}
        draw::Surfaces surfaces = replayer().pictures;
        demo::ReplayHost host;
        game::Form1 form{host, surfaces};
        demo::Session session{form, surfaces};
    };
    const demo::Demo d = demo::parseDemo(golden(kValues));
    Replay first(d), second(d);
    first.session.load();
    demo::Outcome outcome;
    demo::playEvents(first.host, first.session, outcome, false, [](const demo::Event& e) { return e.line > 900; });
    first.session.mouseMove(0, 0, 445, 150);  // the hand over the field's right edge
    first.session.tick();
    second.form.state().spr = replayer().sprites;
    ASSERT_TRUE(demo::restore(demo::snapshot(first.host, first.session, first.form, first.surfaces), second.host,
                              second.session, second.form, second.surfaces));
    for (Replay* r : {&first, &second}) r->session.mouseMove(0, 0, 200, 100);
    for (int tick = 0; tick < 50; ++tick) {
        for (Replay* r : {&first, &second}) r->session.tick();
        ASSERT_EQ(second.session.checksum(), first.session.checksum()) << "tick " << tick;
    }
    EXPECT_EQ(second.form.state().score, first.form.state().score);
    EXPECT_FALSE(demo::restore("bopatron-replay 1\ngame 1 2", second.host, second.session, second.form, second.surfaces));
}

}  // namespace
}  // namespace bopatron::server
