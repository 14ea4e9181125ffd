// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The run time's rules: number from text, rounding, checked 16-bit
// arithmetic, fixed-length text, number to text, program paths.
#include "runtime/basic.h"

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

TEST(Checked16, SumsDifferencesAndProductsThatLeaveTheRangeOverflow) {
    EXPECT_EQ(add16(32766, 1), 32767);
    EXPECT_EQ(sub16(-32767, 1), -32768);
    EXPECT_EQ(mul16(3, 12), 36);
    EXPECT_THROW(add16(32767, 1), RuntimeError);
    EXPECT_THROW(sub16(30, -32738), RuntimeError);
    EXPECT_EQ(sub16(30, -32737), 32767);
    EXPECT_THROW(mul16(256, 128), RuntimeError);
    EXPECT_EQ(mul16(-256, 128), -32768);
}

TEST(Checked16, OverflowCarriesTheRunTimesMessage) {
    try {
        add16(32767, 1);
        FAIL() << "no overflow";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 6);
        EXPECT_STREQ(e.what(), "Run-time error '6':\n\nOverflow");
    }
}

TEST(Text, FixedLengthCutsOrPadsNumbersArePlainDecimalPathsHaveOneSeparator) {
    EXPECT_EQ(fixedText("ABCDEFG", 3), "ABC");
    EXPECT_EQ(fixedText("A", 3), "A  ");
    EXPECT_EQ(fixedText("", 4), "    ");
    EXPECT_EQ(str(-20), "-20");
    EXPECT_EQ(str(-32768), "-32768");
    EXPECT_EQ(programPath("/opt/bopatron", "\\boink.wav"), "/opt/bopatron/boink.wav");
    EXPECT_EQ(programPath("/", "\\Scores.txt"), "/Scores.txt");
    EXPECT_EQ(programPath("/games/", "\\WISEGUY.wav"), "/games/WISEGUY.wav");
}

TEST(RandomSource, DrawsLieInTheUnitInterval) {
    RandomSource random;
    random.seed(12345);
    double low = 1.0, high = 0.0, sum = 0.0;
    constexpr int kDraws = 100000;
    for (int i = 0; i < kDraws; ++i) {
        const double r = random.next();
        ASSERT_GE(r, 0.0);
        ASSERT_LT(r, 1.0);
        low = std::min(low, r);
        high = std::max(high, r);
        sum += r;
    }
    EXPECT_LT(low, 0.001);
    EXPECT_GT(high, 0.999);
    EXPECT_NEAR(sum / kDraws, 0.5, 0.01);
}

}  // namespace
}  // namespace bopatron::runtime
