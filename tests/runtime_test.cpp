// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The run time's rules: number from text, rounding, checked 16-bit
// arithmetic, fixed-length text, number to text, program paths.
#include "runtime/basic.h"
#include "runtime/files.h"
#include "tests/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace bopatron::runtime {
namespace {

TEST(Val, ReadsTheNumericPrefixOfTypedText) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<const char*, double> cases[] = {
        {"", 0},        {"8", 8},         {"-3", -3},   {"+4", 4},     {"3.7", 3.7},   {".5", 0.5},
        {"-.25", -0.25}, {"abc", 0},      {"5 apples", 5}, {"   \t7", 7}, {"-", 0},      {".", 0},
        {"2.5.1", 2.5}, {"1e3", 1000},    {"1D2", 100}, {"2e", 2},     {"2e+", 2},     {"40000", 40000},
        {"12ab", 12},   {"-7 8", -7},     {"1e999", inf}, {"-1e999", -inf}, {"1e-999", 0},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(val(text), value) << text;
}

TEST(ToInteger, RoundsToNearestWithHalvesToEvenAndOverflowsOutsideSixteenBits) {
    const std::pair<double, int> cases[] = {{2.5, 2},      {3.5, 4},         {3.7, 4},          {-2.5, -2},
                                            {-3.5, -4},    {0.49999, 0},     {32767.4, 32767},  {-32768.5, -32768}};
    for (const auto& [value, rounded] : cases) EXPECT_EQ(toInteger(value), rounded) << value;
    for (double value : {32767.5, 40000.0, -32768.51, std::numeric_limits<double>::infinity(), std::nan("")})
        EXPECT_THROW(toInteger(value), RuntimeError) << value;
    EXPECT_EQ(toLong(40000.5), 40000);
    EXPECT_THROW(toLong(3e9), RuntimeError);
}

TEST(Checked16, SumsDifferencesAndProductsThatLeaveTheRangeOverflowWithTheRunTimesMessage) {
    EXPECT_EQ(std::tuple(add16(32766, 1), sub16(-32767, 1), sub16(30, -32737), mul16(3, 12), mul16(-256, 128)),
              std::tuple(32767, -32768, 32767, 36, -32768));
    EXPECT_THROW(sub16(30, -32738), RuntimeError);
    EXPECT_THROW(mul16(256, 128), RuntimeError);
    try {
        add16(32767, 1);
        FAIL() << "no overflow";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 6);
        EXPECT_STREQ(e.what(), "Run-time error '6':\n\nOverflow");
    }
}

TEST(Text, FixedLengthCutsOrPadsNumbersArePlainDecimalPathsHaveOneSeparator) {
    EXPECT_EQ(std::tuple(fixedText("ABCDEFG", 3), fixedText("A", 3), fixedText("", 4), str(-20), str(-32768)),
              std::tuple("ABC", "A  ", "    ", "-20", "-32768"));
    EXPECT_EQ(std::tuple(programPath("/opt/bopatron", "\\boink.wav"), programPath("/", "\\Scores.txt"),
                         programPath("/games/", "\\WISEGUY.wav")),
              std::tuple("/opt/bopatron/boink.wav", "/Scores.txt", "/games/WISEGUY.wav"));
}

TEST(RandomSource, DrawsLieInTheUnitIntervalSpreadEvenly) {
    RandomSource random;
    random.seed(12345);
    double low = 1.0, high = 0.0, sum = 0.0;
    for (int i = 0; i < 100000; ++i) {
        const double r = random.next();
        ASSERT_TRUE(r >= 0.0 && r < 1.0) << r;
        low = std::min(low, r);
        high = std::max(high, r);
        sum += r;
    }
    EXPECT_TRUE(low < 0.001 && high > 0.999) << low << " " << high;
    EXPECT_NEAR(sum / 100000, 0.5, 0.01);
}

// A demo is read in pieces: one far larger than a piece comes whole, and a
// limit that falls inside one keeps only whole lines before it.
TEST(Files, ALargeFileComesWholeAndALimitKeepsItsWholeLines) {
    testing::TempDir dir;
    std::string text;
    for (int i = 0; text.size() < 300000; ++i) text += "move 0 0 " + std::to_string(i) + " 1\n";
    ASSERT_EQ(replaceFile(dir.filePath("big.dem"), text), "");
    EXPECT_TRUE(readFile(dir.filePath("big.dem"), text.size()).text == text);
    const std::string cut = readFile(dir.filePath("big.dem"), 200000).text;
    EXPECT_TRUE(cut.size() <= 200000 && cut.size() > 199900 && cut.back() == '\n' && text.rfind(cut, 0) == 0) << cut.size();
}

}  // namespace
}  // namespace bopatron::runtime
