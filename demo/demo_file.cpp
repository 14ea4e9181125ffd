// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "demo/demo_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <type_traits>
#include <optional>

namespace bopatron::demo {

namespace {

using Kind = Event::Kind;
using Status = runtime::FileText::Status;

constexpr float kFarthest = 1e6f;  // no window puts the pointer farther from the field

struct Name {
    Kind kind;
    std::string_view word;
};
constexpr Name kNames[] = {{Kind::Seed, "seed"},   {Kind::Click, "click"},   {Kind::Answer, "answer"},
                           {Kind::Cancel, "cancel"}, {Kind::Move, "move"},   {Kind::Down, "down"},
                           {Kind::Up, "up"},       {Kind::Tick, "tick"},     {Kind::Table, "table"},
                           {Kind::Checkpoint, "checkpoint"}, {Kind::End, "end"},
                           {Kind::Value, "value"}};

std::string_view wordOf(Kind kind) {
    for (const Name& name : kNames)
        if (name.kind == kind) return name.word;
    return {};
}

// Text in double quotes: a quote, a backslash, every control byte and every
// byte above 127 escaped, so that any answer or table stays on one line of
// plain ASCII and reads back byte for byte.
std::string escaped(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20 || byte >= 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A decimal number as positions are written: an optional minus, digits, and
// a fraction after a point; at most 15 significant digits count (a float
// needs 9) and at most 22 after the point, so that the value is one exact
// double divided by another: correctly rounded.
enum class Decimal { Read, Malformed, OutOfRange };
Decimal readDecimal(std::string_view w, float& out) {
    std::size_t i = w.size() > 0 && w[0] == '-' ? 1 : 0;
    std::uint64_t mantissa = 0;
    int digits = 0, scale = 0;
    bool point = false, any = false;
    for (; i < w.size(); ++i) {
        if (w[i] == '.' && !point) {
            point = true;
            continue;
        }
        if (w[i] < '0' || w[i] > '9') return Decimal::Malformed;
        any = true;
        if (mantissa == 0 && w[i] == '0') {
            if (point) ++scale;
            continue;
        }
        if (digits == 15) {  // the rest only round
            if (!point) return Decimal::OutOfRange;
            continue;
        }
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(w[i] - '0');
        ++digits;
        if (point) ++scale;
    }
    if (!any || scale > 22) return Decimal::Malformed;
    double value = static_cast<double>(mantissa) / std::pow(10.0, scale);
    if (w[0] == '-') value = -value;
    if (std::fabs(value) > kFarthest) return Decimal::OutOfRange;
    out = static_cast<float>(value);
    return Decimal::Read;
}

// The shortest fixed-point decimal that reads back as the same float, with a
// point whatever the locale says.
std::string decimal(float value) {
    char text[64] = "0";
    for (int places = 0; places <= 22; ++places) {
        std::snprintf(text, sizeof text, "%.*f", places, static_cast<double>(value));
        for (char& c : text)
            if (c == ',') c = '.';
        float back = 0;
        if (readDecimal(text, back) == Decimal::Read && back == value) break;
    }
    return text;
}

std::string hex64(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// Reads one line's fields in order; the first failure is kept.
class Fields {
public:
    explicit Fields(std::string_view rest) : rest_(rest) {}

    bool failed() const { return !error.empty(); }
    std::string error;

    std::string_view word() {
        skipSpaces();
        const std::size_t end = std::min(rest_.find(' '), rest_.size());
        const std::string_view w = rest_.substr(0, end);
        rest_.remove_prefix(end);
        return w;
    }

    template <typename T> T integer(const char* what, T low, T high) {
        const std::string_view w = word();
        // Wide enough for every field: a seed needs all 64 bits, unsigned.
        using Wide = std::conditional_t<std::is_unsigned_v<T>, unsigned long long, long long>;
        Wide value = 0;
        const auto [end, error] = std::from_chars(w.data(), w.data() + w.size(), value);
        if (w.empty() || end != w.data() + w.size()) {
            if (error != std::errc::result_out_of_range) return fail<T>(what, w, false);
        }
        if (error != std::errc() || value < static_cast<Wide>(low) || value > static_cast<Wide>(high))
            return fail<T>(what, w, true);
        return static_cast<T>(value);
    }

    std::uint64_t checksum() {
        const std::string_view w = word();
        std::uint64_t value = 0;
        const auto result = std::from_chars(w.data(), w.data() + w.size(), value, 16);
        if (w.size() != 16 || result.ptr != w.data() + w.size()) return fail<std::uint64_t>("a checksum of 16 hex digits", w, false);
        return value;
    }

    // A decimal number, as decimal() writes it: an optional minus, digits,
    // and a fraction after a point.
    float position(const char* what) {
        const std::string_view w = word();
        float value = 0;
        const Decimal read = readDecimal(w, value);
        if (read != Decimal::Read) return fail<float>(what, w, read == Decimal::OutOfRange);
        return value;
    }

    std::string text(const char* what) {
        skipSpaces();
        if (rest_.empty() || rest_[0] != '"') return fail<std::string>(what, rest_, false);
        std::string out;
        std::size_t i = 1;
        for (; i < rest_.size() && rest_[i] != '"'; ++i) {
            if (rest_[i] != '\\') {
                out += rest_[i];
                continue;
            }
            if (++i == rest_.size()) break;
            switch (rest_[i]) {
                case 'r': out += '\r'; break;
                case 'n': out += '\n'; break;
                case '"': case '\\': out += rest_[i]; break;
                case 'x': {
                    unsigned byte = 0;
                    const auto hex = rest_.substr(i + 1, 2);
                    if (hex.size() != 2 || std::from_chars(hex.data(), hex.data() + 2, byte, 16).ptr != hex.data() + 2)
                        return fail<std::string>(what, rest_, false);
                    out += static_cast<char>(byte);
                    i += 2;
                    break;
                }
                default: return fail<std::string>(what, rest_, false);
            }
        }
        if (i >= rest_.size()) return fail<std::string>(what, rest_, false);
        rest_.remove_prefix(i + 1);
        return out;
    }

    // Nothing may follow the last field.
    void finish() {
        skipSpaces();
        if (!rest_.empty() && error.empty()) error = "unexpected '" + std::string(rest_) + "' at the end";
    }

private:
    void skipSpaces() {
        while (!rest_.empty() && rest_[0] == ' ') rest_.remove_prefix(1);
    }
    template <typename T> T fail(const char* what, std::string_view got, bool range) {
        if (error.empty()) {
            error = range ? "'" + std::string(got) + "' is out of range for " + what
                          : "expected " + std::string(what) + ", found '" + std::string(got.substr(0, 40)) + "'";
        }
        rest_ = {};
        return T{};
    }
    std::string_view rest_;
};

constexpr std::int16_t kLeast16 = std::numeric_limits<std::int16_t>::min();
constexpr std::int16_t kMost16 = std::numeric_limits<std::int16_t>::max();

// Reads the fields that follow an event's word.
void readFields(Event& e, Fields& f) {
    switch (e.kind) {
        case Kind::Seed:
            e.value = f.integer<std::uint64_t>("a seed from 0 to 18446744073709551615", 0, UINT64_MAX);
            break;
        case Kind::Value:
            e.value = f.integer<std::uint64_t>("a round's value from 0 to 18446744073709551615", 0, UINT64_MAX);
            break;
        case Kind::Answer:
            e.text = f.text("the answer in double quotes");
            break;
        case Kind::Move:
        case Kind::Down:
        case Kind::Up:
            e.button = f.integer<std::int16_t>("a button code (a 16-bit integer)", kLeast16, kMost16);
            e.shift = f.integer<std::int16_t>("a shift code (a 16-bit integer)", kLeast16, kMost16);
            e.x = f.position("an x position (a decimal from -1000000 to 1000000)");
            e.y = f.position("a y position (a decimal from -1000000 to 1000000)");
            break;
        case Kind::Table: {
            const std::string_view how = f.word();
            if (how == "read") {
                e.table = Status::Read;
                e.text = f.text("the table's text in double quotes");
            } else if (how == "unreadable") {
                e.table = Status::Unreadable;
                e.text = f.text("why the table could not be read, in double quotes");
            } else if (how == "missing") {
                e.table = Status::Missing;
            } else {
                f.error = "expected 'read', 'missing' or 'unreadable' after 'table'";
            }
            break;
        }
        case Kind::Checkpoint:
        case Kind::End:
            e.ticks = f.integer<long>("a tick count (0 or more)", 0, std::numeric_limits<long>::max());
            e.score = f.integer<std::int16_t>("a score (a 16-bit integer)", kLeast16, kMost16);
            e.value = f.checksum();
            break;
        case Kind::Click:
        case Kind::Cancel:
        case Kind::Tick:
            break;
    }
    f.finish();
}

}  // namespace

std::string formatEvent(const Event& e) {
    std::string line(wordOf(e.kind));
    switch (e.kind) {
        case Kind::Seed:
        case Kind::Value:
            return line + " " + std::to_string(e.value);
        case Kind::Answer:
            return line + " " + escaped(e.text);
        case Kind::Move:
        case Kind::Down:
        case Kind::Up:
            return line + " " + std::to_string(e.button) + " " + std::to_string(e.shift) + " " + decimal(e.x) + " " +
                   decimal(e.y);
        case Kind::Table:
            if (e.table == Status::Missing) return line + " missing";
            return line + (e.table == Status::Read ? " read " : " unreadable ") + escaped(e.text);
        case Kind::Checkpoint:
        case Kind::End:
            return line + " " + std::to_string(e.ticks) + " " + std::to_string(e.score) + " " + hex64(e.value);
        case Kind::Click:
        case Kind::Cancel:
        case Kind::Tick:
            break;
    }
    return line;
}

namespace {

// Reads the lines of a demo from line number `number` + 1 on: with the first
// line of the file when number is 0, events alone after it.
Demo parseLines(std::string_view text, int number) {
    Demo demo;
    const auto failAt = [&demo](int line, const std::string& why) {
        demo.events.clear();
        demo.error = "line " + std::to_string(line) + ": " + why;
        return demo;
    };
    const bool whole = number == 0;
    bool ended = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            // Cut while it was being written: play what came before.
            demo.endedEarly = true;
            break;
        }
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number;
        if (number == 1) {
            if (line == kFirstLine) continue;
            if (line.rfind("bopatron-demo ", 0) == 0)
                return failAt(1, "version '" + std::string(line.substr(14, 20)) + "' is not one this game plays (it plays 1)");
            return failAt(1, "expected 'bopatron-demo 1': this is not a Bopatron demo");
        }
        if (line.empty()) continue;
        if (ended) return failAt(number, "nothing may follow the 'end' line");
        Fields fields(line);
        const std::string_view word = fields.word();
        Event event;
        event.line = number;
        bool known = false;
        for (const Name& name : kNames) {
            if (name.word == word) {
                event.kind = name.kind;
                known = true;
            }
        }
        if (!known) return failAt(number, "unknown event '" + std::string(word.substr(0, 40)) + "'");
        if (whole && demo.events.empty() && event.kind != Kind::Seed)
            return failAt(number, "expected 'seed N' before any other event");
        readFields(event, fields);
        if (fields.failed()) return failAt(number, fields.error);
        ended = event.kind == Kind::End;
        demo.events.push_back(std::move(event));
    }
    if (!whole) return demo;
    if (number == 0) return failAt(1, "expected 'bopatron-demo 1': the file is empty");
    if (demo.events.empty()) return failAt(number + 1, "expected 'seed N': the demo holds no events");
    return demo;
}

}  // namespace

Demo parseDemo(std::string_view text) { return parseLines(text, 0); }

Demo parseEvents(std::string_view text, int firstLine) { return parseLines(text, firstLine - 1); }

Demo readDemo(const std::string& path) {
    Demo demo;
    std::error_code error;
    if (const auto size = std::filesystem::file_size(path, error); !error && size > kMostBytes) {
        demo.error = path + ": larger than " + std::to_string(kMostBytes >> 20) + " MiB, more than any demo holds";
        return demo;
    }
    const runtime::FileText file = runtime::readFile(path, kMostBytes);
    if (file.status == Status::Missing) {
        demo.error = path + ": no such file";
    } else if (file.status == Status::Unreadable) {
        demo.error = path + ": cannot be read (" + file.error + ")";
    } else {
        demo = parseDemo(file.text);
        if (!demo.error.empty()) demo.error = path + ": " + demo.error;
    }
    return demo;
}

std::string demoThrough(std::string_view lines, long count) {
    std::size_t at = 0;
    std::string_view last;
    for (long line = 0; line < count && at < lines.size(); ++line) {
        const std::size_t end = lines.find('\n', at);
        last = lines.substr(at, end - at);
        at = end == std::string_view::npos ? lines.size() : end + 1;
    }
    std::string text(lines.substr(0, at));
    if (last.rfind("checkpoint ", 0) == 0) text += "end " + std::string(last.substr(11)) + "\n";
    return text;
}

}  // namespace bopatron::demo
