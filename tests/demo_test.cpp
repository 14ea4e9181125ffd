// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The demo file: what is written reads back as the same events, byte for
// byte for the golden demos, and any position or text comes back exactly;
// what a recorded session writes, line by line, and that it plays back.
#include "demo/demo_file.h"
#include "demo/session.h"
#include "demo/timedemo.h"
#include "runtime/files.h"
#include "tests/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <random>

namespace bopatron::demo {
namespace {

std::string written(const Demo& demo) {
    std::string text = std::string(kFirstLine) + "\n";
    for (const Event& event : demo.events) text += formatEvent(event) + "\n";
    return text;
}

TEST(DemoFile, GoldenDemosReadAndWriteBackByteForByte) {
    for (const auto& entry : std::filesystem::directory_iterator(BOPATRON_DEMOS_DIR)) {
        if (entry.path().extension() != ".dem") continue;
        const std::string text = runtime::readFile(entry.path().string(), kMostBytes).text;
        const Demo demo = parseDemo(text);
        ASSERT_EQ(demo.error, "") << entry.path();
        EXPECT_EQ(written(demo), text) << entry.path();
    }
}

TEST(DemoFile, PositionsAndTextsComeBackExactlyWhateverTheLocale) {
    // A locale whose decimal point is a comma, where the machine has one.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    std::mt19937 random(7);
    Demo demo;
    Event seed;
    seed.kind = Event::Kind::Seed;
    demo.events.push_back(seed);
    for (int i = 0; i < 2000; ++i) {
        Event e;
        e.kind = Event::Kind::Move;
        e.x = std::uniform_real_distribution<float>(-5000, 5000)(random) / static_cast<float>(1 + random() % 8);
        e.y = static_cast<float>(random() % 2000) / 3.0f;
        demo.events.push_back(e);
    }
    for (std::string text : {std::string("\"q\\\\\r\n\t\x01\x7f"), std::string("Zo\xc3\xab \xff")}) {
        Event e;
        e.kind = Event::Kind::Answer;
        e.text = text;
        demo.events.push_back(e);
    }
    const std::string text = written(demo);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c == '\n' || (c >= ' ' && c <= '~'); }))
        << "plain ASCII, one event a line";
    const Demo back = parseDemo(text);
    ASSERT_EQ(back.error, "");
    ASSERT_EQ(back.events.size(), demo.events.size());
    for (std::size_t i = 0; i < demo.events.size(); ++i) {
        EXPECT_EQ(std::tuple(back.events[i].x, back.events[i].y, back.events[i].text),
                  std::tuple(demo.events[i].x, demo.events[i].y, demo.events[i].text))
            << formatEvent(demo.events[i]);
    }
}

TEST(DemoFile, OnlyItsOwnFirstLineIsReadAndErrorsNameTheLineCountingBlankOnes) {
    const std::pair<const char*, const char*> cases[] = {
        {"bopatron-demo 10\nseed 1\n", "line 1: version '10'"},
        {"bopatron-demo 1.1\nseed 1\n", "line 1: version '1.1'"},
        {"bopatron-demo 1 \nseed 1\n", "line 1: version '1 '"},
        {"bopatron-demo\nseed 1\n", "line 1: expected 'bopatron-demo 1'"},
        {"seed 1\n", "line 1: expected 'bopatron-demo 1'"},
        {"bopatron-demo 1\nseed 1\n\ntick\n\n\nbogus 3\n", "line 7: unknown event 'bogus'"},
        {"bopatron-demo 1\r\nseed 1\r\n\r\nmove 0 0 1 x\r\n", "line 4: expected a y position"},
        {"bopatron-demo 1\n\ntick\n", "line 3: expected 'seed N'"},
        {"bopatron-demo 1\nseed 1\nend 0 0 0000000000000000\n\ntick\n", "line 5: nothing may follow"},
    };
    for (const auto& [text, error] : cases) {
        const Demo demo = parseDemo(text);
        EXPECT_EQ(demo.error.substr(0, std::string(error).size()), error) << text;
        EXPECT_TRUE(demo.events.empty()) << text;
    }
}

// A session recorded through the recording host, with a New Game in the
// middle of the first round so that the second ends off the 100-tick grid.
}  // namespace
}  // namespace bopatron::demo
