// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "runtime/basic.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <random>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale>
#include <sstream>
#include <version>

namespace bopatron::runtime {

RuntimeError::RuntimeError(int number, const std::string& message)
    : std::runtime_error("Run-time error '" + std::to_string(number) + "':\n\n" + message),
      number_(number) {}

void raiseOverflow() { throw RuntimeError(kErrOverflow, "Overflow"); }

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double val(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;

    std::string number;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) number += text[i++];
    bool digits = false;
    while (i < text.size() && isDigit(text[i])) {
        number += text[i++];
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        while (i < text.size() && isDigit(text[i])) {
            number += text[i++];
            digits = true;
        }
    }
    if (!digits) return 0.0;
    // An exponent counts only when digits follow it ("2e" is 2).
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '-' || text[j] == '+')) exponent += text[j++];
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j])) exponent += text[j++];
            number += exponent;
        }
    }
    if (number.front() == '+') number.erase(0, 1);
    double value = 0.0;
#if defined(__cpp_lib_to_chars)
    // from_chars reads the text the same way whatever the user's locale is.
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    const bool outOfRange = error == std::errc::result_out_of_range;
#else
    // A C++ library without from_chars for doubles (the browser's): its C
    // library knows only the "C" locale, so strtod reads the same way.
    errno = 0;
    value = std::strtod(number.c_str(), nullptr);
    const bool outOfRange = errno == ERANGE && (std::isinf(value) || value == 0.0);
#endif
    if (outOfRange) {
        // Too large or too small for a double: infinity or zero, with its sign.
        const bool negative = number.front() == '-';
        const bool tiny = number.find("e-") != std::string::npos;
        if (tiny) return negative ? -0.0 : 0.0;
        return negative ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::infinity();
    }
    return value;
}

namespace {

template <typename T>
T roundChecked(double value) {
    if (std::isnan(value)) raiseOverflow();
    const double rounded = std::nearbyint(value);  // default mode: halves to even
    if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<T>::max())) {
        raiseOverflow();
    }
    return static_cast<T>(rounded);
}

int16_t checked(int32_t value) {
    if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) {
        raiseOverflow();
    }
    return static_cast<int16_t>(value);
}

}  // namespace

int16_t toInteger(double value) { return roundChecked<int16_t>(value); }
int32_t toLong(double value) { return roundChecked<int32_t>(value); }
double intOf(double value) { return std::floor(value); }

int16_t add16(int16_t a, int16_t b) { return checked(int32_t{a} + int32_t{b}); }
int16_t sub16(int16_t a, int16_t b) { return checked(int32_t{a} - int32_t{b}); }
int16_t mul16(int16_t a, int16_t b) { return checked(int32_t{a} * int32_t{b}); }

std::string fixedText(std::string_view text, std::size_t n) {
    std::string out(text.substr(0, n));
    out.resize(n, ' ');
    return out;
}

std::string str(long long value) { return std::to_string(value); }

std::string programPath(std::string_view folder, std::string_view name) {
#ifdef _WIN32
    constexpr char kSeparator = '\\';
#else
    constexpr char kSeparator = '/';
#endif
    std::string path(folder);
    std::string_view rest = name;
    if (!rest.empty() && (rest.front() == '\\' || rest.front() == '/')) rest.remove_prefix(1);
    if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += kSeparator;
    path += rest;
    return path;
}

std::uint64_t RandomSource::seedFromClock() {
    const auto now = static_cast<std::uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    engine_.seed(now);
    return now;
}

void RandomSource::fold(std::uint64_t value) {
    // The engine's next word stands for its state so far; seed_seq spreads
    // both over the whole of the new state. Both are fixed by the standard,
    // so every platform folds alike.
    const std::uint64_t state = engine_();
    std::seed_seq mixed{static_cast<std::uint32_t>(value), static_cast<std::uint32_t>(value >> 32),
                        static_cast<std::uint32_t>(state), static_cast<std::uint32_t>(state >> 32)};
    engine_.seed(mixed);
}

std::string RandomSource::state() const {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << engine_;
    return out.str();
}

bool RandomSource::setState(const std::string& text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    std::mt19937_64 read;
    in >> read;
    if (in.fail()) return false;
    in >> std::ws;
    if (!in.eof()) return false;
    engine_ = read;
    return true;
}

double RandomSource::next() {
    // 53 random bits scaled into [0, 1): never 1.
    return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

}  // namespace bopatron::runtime
