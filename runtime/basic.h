// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The run time's own rules that every part of the game relies on: number
// conversion and rounding, checked 16-bit arithmetic, fixed-length text and
// run-time errors.

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

namespace bopatron::runtime {

// An error of the run time: it carries the run time's error number and message.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const std::string& message);
    int number() const { return number_; }

private:
    int number_;
};

inline constexpr int kErrOverflow = 6;
inline constexpr int kErrSubscript = 9;
inline constexpr int kErrFile = 53;

[[noreturn]] void raiseOverflow();

// Val: the value of the text's leading numeric part (leading blanks skipped,
// optional sign, digits, fraction, exponent); 0 when there is none.
double val(std::string_view text);

// Assigns a real number to a 16-bit integer: nearest, halves to even;
// raises an overflow error when the result does not fit.
int16_t toInteger(double value);
// The same for a 32-bit integer.
int32_t toLong(double value);

// Int(x): x rounded down to a whole number.
double intOf(double value);

// Checked 16-bit arithmetic: raises an overflow error when the result leaves
// the range -32768 to 32767.
int16_t add16(int16_t a, int16_t b);
int16_t sub16(int16_t a, int16_t b);
int16_t mul16(int16_t a, int16_t b);

// Fixed-length text of n characters: a longer text is cut, a shorter padded
// with spaces on the right.
std::string fixedText(std::string_view text, std::size_t n);

// Number to text: plain decimal with a leading "-" when negative.
std::string str(long long value);

// The full path of a file in the program's folder. The name begins with a
// backslash, as the game stores it; it becomes the platform's separator, and
// a folder that already ends in one (a root) does not get a second.
std::string programPath(std::string_view folder, std::string_view name);

// The generator behind Rnd: seeded once from the clock, each draw uniform in [0, 1).
class RandomSource {
public:
    // Seeds from the clock and returns the seed, which a demo records.
    std::uint64_t seedFromClock();
    void seed(std::uint64_t value) { engine_.seed(value); }
    // Mixes a value into the generator's state without drawing a number the
    // game sees: what follows depends on the value and on everything before.
    void fold(std::uint64_t value);
    double next();
    // The generator's whole state as text (the standard's own form, the same on
    // every platform), and the state set back from it; false for a text that is
    // not one, which leaves the state as it was.
    std::string state() const;
    bool setState(const std::string& text);

private:
    std::mt19937_64 engine_{0};
};

}  // namespace bopatron::runtime
