// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// Fuzz target of the demo reader: any text either is refused with a line
// number or reads into events that write back to the same events, begin with
// the seed and have nothing after the closing line; and a demo that reads
// plays to its end or stops with a mismatch, never with a crash.
#include "demo/session.h"
#include "demo/timedemo.h"
#include "draw/compositor.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using namespace bopatron;

void check(bool condition) {
    if (!condition) std::abort();
}

bool sameEvent(const demo::Event& a, const demo::Event& b) {
    return a.kind == b.kind && a.value == b.value && a.text == b.text && a.table == b.table &&
           a.button == b.button && a.shift == b.shift && a.x == b.x && a.y == b.y && a.ticks == b.ticks &&
           a.score == b.score;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const demo::Demo read = demo::parseDemo(text);
    if (!read.error.empty()) {
        check(read.error.rfind("line ", 0) == 0 && read.events.empty());
        return 0;
    }
    check(!read.events.empty() && read.events.front().kind == demo::Event::Kind::Seed);
    std::string written = std::string(demo::kFirstLine) + "\n";
    for (std::size_t i = 0; i < read.events.size(); ++i) {
        check(read.events[i].kind != demo::Event::Kind::End || i + 1 == read.events.size());
        written += demo::formatEvent(read.events[i]) + "\n";
    }
    const demo::Demo again = demo::parseDemo(written);
    check(again.error.empty() && again.events.size() == read.events.size());
    for (std::size_t i = 0; i < read.events.size(); ++i) check(sameEvent(read.events[i], again.events[i]));

    if (read.events.size() < 3000) {
        draw::Surfaces surfaces;
        surfaces.Picbuf = surfaces.window = draw::Surface(437, 284, draw::kButtonFace);
        surfaces.Picbak = draw::Surface(436, 284, 0xff008000);
        demo::runTimedemo(read, surfaces, "/nonexistent");
    }
    return 0;
}
