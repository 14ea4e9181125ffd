// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "demo/snapshot.h"

#include <charconv>
#include <cstring>
#include <cstdint>

namespace bopatron::demo {

namespace {

constexpr std::string_view kFirst = "bopatron-replay 1";

// The back buffer's pixels outside the background: what restoring the
// background at a tick leaves as it was.
template <typename Each>
void eachEdgePixel(const draw::Surfaces& s, Each each) {
    const int w = s.Picbak.width(), h = s.Picbak.height();
    for (int y = 0; y < s.Picbuf.height(); ++y)
        for (int x = y < h ? w : 0; x < s.Picbuf.width(); ++x) each(x, y);
}

// A double as its bits and back (std::bit_cast is not in every library this builds with).
std::uint64_t bitsOf(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
double fromBits(std::uint64_t bits) {
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

class Writer {
public:
    Writer& word(std::string_view w) {
        if (!out.empty() && out.back() != '\n') out += ' ';
        out += w;
        return *this;
    }
    template <typename Number>
    Writer& number(Number n) {
        char text[40];
        const auto end = std::to_chars(text, text + sizeof text, n).ptr;
        return word(std::string_view(text, static_cast<std::size_t>(end - text)));
    }
    void line() { out += '\n'; }
    std::string out;
};

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}
    std::string_view word() {
        while (!text_.empty() && (text_.front() == ' ' || text_.front() == '\n')) text_.remove_prefix(1);
        std::size_t end = 0;
        while (end < text_.size() && text_[end] != ' ' && text_[end] != '\n') ++end;
        const std::string_view w = text_.substr(0, end);
        text_.remove_prefix(end);
        if (w.empty()) ok = false;
        return w;
    }
    // The rest of the line, spaces and all.
    std::string_view rest() {
        if (!text_.empty() && text_.front() == ' ') text_.remove_prefix(1);
        const std::size_t end = text_.find('\n');
        const std::string_view r = text_.substr(0, end);
        text_.remove_prefix(end == std::string_view::npos ? text_.size() : end);
        return r;
    }
    template <typename Number>
    Number number(int base = 10) {
        const std::string_view w = word();
        Number n{};
        const std::from_chars_result r = std::from_chars(w.data(), w.data() + w.size(), n, base);
        if (r.ec != std::errc() || r.ptr != w.data() + w.size()) ok = false;
        return n;
    }
    bool expect(std::string_view w) { return (ok = ok && word() == w); }
    bool ok = true;

private:
    std::string_view text_;
};

template <typename Each>
void eachHoleArray(game::GameState& g, Each each) {
    for (auto* a : {&g.holeX, &g.holeY, &g.ratPos, &g.ratPace})
        for (auto& row : *a)
            for (std::int16_t& v : row) each(v);
}

}  // namespace

std::string snapshot(const ReplayHost& host, const Session& session, const game::Form1& form,
                     const draw::Surfaces& surfaces) {
    Writer w;
    w.word(kFirst).line();
    game::GameState g = form.state();
    w.word("game");
    for (const std::int16_t v : {g.difficulty, g.ticks.value_or(-1), g.score, g.handX, g.handY, g.handDown, g.ratKind,
                                 g.firstKind, g.dice})
        w.number(v);
    w.number(g.ticks ? 1 : 0).line();
    w.word("holes");
    eachHoleArray(g, [&](std::int16_t v) { w.number(v); });
    w.line();
    w.word("session").number(session.ticksPlayed()).number(session.checksum()).number(host.lastBoxCancelled() ? 1 : 0).line();
    const draw::TextState& t = surfaces.Picbuf.text;
    // The size as its bits: exact, and written the same by every platform.
    w.word("text").number(bitsOf(t.fontSize)).number(t.fontBold ? 1 : 0).number(t.currentX).number(t.currentY).number(t.foreColor);
    w.word(t.fontName).line();
    w.word("edge");
    eachEdgePixel(surfaces, [&](int x, int y) { w.number(surfaces.Picbuf.pixel(x, y)); });
    w.line();
    w.word("random").word(host.random().state()).line();
    return w.out;
}

bool restore(std::string_view text, ReplayHost& host, Session& session, game::Form1& form, draw::Surfaces& surfaces) {
    Reader r(text);
    if (r.rest() != kFirst || !r.expect("game")) return false;
    game::GameState& g = form.state();
    g.difficulty = r.number<std::int16_t>();
    g.ticks = r.number<std::int16_t>();
    for (std::int16_t* v : {&g.score, &g.handX, &g.handY, &g.handDown, &g.ratKind, &g.firstKind, &g.dice})
        *v = r.number<std::int16_t>();
    if (r.number<int>() == 0) g.ticks.reset();
    if (!r.expect("holes")) return false;
    eachHoleArray(g, [&](std::int16_t& v) { v = r.number<std::int16_t>(); });
    if (!r.expect("session")) return false;
    const long ticks = r.number<long>();
    const auto checksum = r.number<std::uint64_t>();
    session.resume(ticks, checksum);
    host.setLastBoxCancelled(r.number<int>() != 0);
    if (!r.expect("text")) return false;
    draw::TextState& t = surfaces.Picbuf.text;
    t.fontSize = fromBits(r.number<std::uint64_t>());
    t.fontBold = r.number<int>() != 0;
    t.currentX = r.number<int>();
    t.currentY = r.number<int>();
    t.foreColor = r.number<std::uint32_t>();
    t.fontName = std::string(r.rest());
    if (!r.expect("edge")) return false;
    eachEdgePixel(surfaces, [&](int x, int y) { surfaces.Picbuf.setPixel(x, y, r.number<std::uint32_t>()); });
    if (!r.expect("random")) return false;
    return r.ok && host.random().setState(std::string(r.rest()));
}

}  // namespace bopatron::demo
