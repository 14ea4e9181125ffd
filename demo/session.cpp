// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "demo/session.h"

#include <chrono>
#include <cstdio>

namespace bopatron::demo {

namespace {

using Kind = Event::Kind;
constexpr std::uint64_t kPrime = 0x100000001b3u;  // FNV's 64-bit prime

Event eventOf(Kind kind) {
    Event event;
    event.kind = kind;
    return event;
}

}  // namespace

std::uint64_t frameChecksum(std::uint64_t running, const draw::Surface& frame) {
    // The pixels row by row as one run, two to a 64-bit word, word i going to
    // lane i mod 4. Four independent lanes keep the multiplier busy; one lane
    // would make every word wait for the last product.
    const std::uint32_t* p = frame.pixels().data();
    const std::size_t pixels = frame.pixels().size();
    const auto word = [p](std::size_t i) { return p[2 * i] | std::uint64_t{p[2 * i + 1]} << 32; };
    std::uint64_t l0 = running, l1 = running ^ 1, l2 = running ^ 2, l3 = running ^ 3;
    const std::size_t words = pixels / 2;
    std::size_t i = 0;
    for (; i + 4 <= words; i += 4) {
        l0 = (l0 ^ word(i)) * kPrime;
        l1 = (l1 ^ word(i + 1)) * kPrime;
        l2 = (l2 ^ word(i + 2)) * kPrime;
        l3 = (l3 ^ word(i + 3)) * kPrime;
    }
    std::uint64_t* lanes[4] = {&l0, &l1, &l2, &l3};
    for (; i < words; ++i) *lanes[i & 3] = (*lanes[i & 3] ^ word(i)) * kPrime;
    if (pixels % 2 != 0) *lanes[i & 3] = (*lanes[i & 3] ^ p[pixels - 1]) * kPrime;  // the last pixel alone
    std::uint64_t folded = running;
    for (const std::uint64_t l : {l0, l1, l2, l3}) folded = (folded ^ l) * kPrime;
    return folded;
}

std::uint64_t cueChecksum(std::uint64_t running, std::string_view path) {
    // Only the name: the program's folder differs from one machine to the next.
    const std::size_t slash = path.find_last_of("/\\");
    for (const char c : path.substr(slash == std::string_view::npos ? 0 : slash + 1))
        running = (running ^ static_cast<unsigned char>(c)) * kPrime;
    return running;
}

Recorder::Recorder(std::function<void(const std::string&)> write) : write_(std::move(write)) {
    write_(std::string(kFirstLine) + "\n");
}

void Recorder::add(const Event& event) { write_(formatEvent(event) + "\n"); }

std::string RecordingHost::inputBox(const std::string& prompt, const std::optional<std::string>& title) {
    std::string answer = real_.inputBox(prompt, title);
    Event event;
    event.kind = real_.lastBoxCancelled() ? Kind::Cancel : Kind::Answer;
    event.text = answer;
    recorder_.add(event);
    return answer;
}

void RecordingHost::randomize() {
    Event event;
    event.kind = Kind::Seed;
    if (fixedSeed) {
        random_.seed(*fixedSeed);
        event.value = *fixedSeed;
    } else {
        event.value = random_.seedFromClock();
    }
    recorder_.add(event);
}

runtime::FileText RecordingHost::readTable(const std::string& path, std::size_t limit) {
    if (onTable) onTable();
    runtime::FileText read = real_.readTable(path, limit);
    Event event;
    event.kind = Kind::Table;
    event.table = read.status;
    event.text = read.status == runtime::FileText::Status::Unreadable ? read.error : read.text;
    recorder_.add(event);
    return read;
}

const Event* ReplayHost::peek() const { return at_ < demo_.events.size() ? &demo_.events[at_] : nullptr; }

const Event* ReplayHost::next() { return at_ < demo_.events.size() ? &demo_.events[at_++] : nullptr; }

const Event& ReplayHost::expect(Kind kind, Kind alternative, const char* what) {
    const Event* event = at_ < demo_.events.size() ? &demo_.events[at_] : nullptr;
    if (event == nullptr) throw Mismatch(std::string("the game asked for ") + what + " after the demo's last event");
    if (event->kind != kind && event->kind != alternative) {
        throw Mismatch("line " + std::to_string(event->line) + ": the game asked for " + what + ", the demo holds '" +
                       formatEvent(*event).substr(0, 40) + "'");
    }
    ++at_;
    return *event;
}

std::string ReplayHost::inputBox(const std::string& prompt, const std::optional<std::string>& title) {
    const Event& event = expect(Kind::Answer, Kind::Cancel, "an answer");
    cancelled_ = event.kind == Kind::Cancel;
    const std::string answer = cancelled_ ? std::string() : event.text;
    if (showBox) showBox(prompt, title, answer, cancelled_);
    return answer;
}

void ReplayHost::randomize() { random_.seed(expect(Kind::Seed, Kind::Seed, "the seed").value); }

runtime::FileText ReplayHost::readTable(const std::string&, std::size_t) {
    const Event& event = expect(Kind::Table, Kind::Table, "the high-score table");
    if (event.table == runtime::FileText::Status::Unreadable) return {event.table, {}, event.text};
    return {event.table, event.text, {}};
}

void Session::record(Event event) {
    if (recorder_ != nullptr) recorder_->add(event);
}

void Session::click() {
    record(eventOf(Kind::Click));
    form_.Command1_Click();
}

void Session::mouse(Kind kind, std::int16_t button, std::int16_t shift, float x, float y) {
    Event event = eventOf(kind);
    event.button = button;
    event.shift = shift;
    event.x = x;
    event.y = y;
    record(event);
}

void Session::mouseMove(std::int16_t button, std::int16_t shift, float x, float y) {
    mouse(Kind::Move, button, shift, x, y);
    form_.Form_MouseMove(button, shift, x, y);
}

void Session::mouseDown(std::int16_t button, std::int16_t shift, float x, float y) {
    mouse(Kind::Down, button, shift, x, y);
    form_.Form_MouseDown(button, shift, x, y);
}

void Session::mouseUp(std::int16_t button, std::int16_t shift, float x, float y) {
    mouse(Kind::Up, button, shift, x, y);
    form_.Form_MouseUp(button, shift, x, y);
}

void Session::tick() {
    record(eventOf(Kind::Tick));
    form_.Timer1_Timer();
    if (checksums_) checksum_ = frameChecksum(checksum_, surfaces_.window);
    ++ticks_;
    // Also after the tick that ends a round, so that every frame of a round is
    // vouched for as soon as the round is over.
    const bool roundEnded = form_.state().ticks == game::kRoundTicks;
    if (ticks_ % kCheckpointEvery == 0 || roundEnded) record(summary(Kind::Checkpoint));
}

void Session::close() { record(summary(Kind::End)); }

Event Session::summary(Kind kind) const {
    Event event = eventOf(kind);
    event.ticks = ticks_;
    event.score = score();
    event.value = checksum_;
    return event;
}

bool playEvents(ReplayHost& host, Session& session, Outcome& outcome, bool stopAfterTick,
                const std::function<bool(const Event&)>& stopBefore) {
    const auto compare = [&](const Event& recorded) {
        const Event played = session.summary(recorded.kind);
        if (outcome.difference.empty() &&
            (played.ticks != recorded.ticks || played.score != recorded.score || played.value != recorded.value)) {
            outcome.difference = "line " + std::to_string(recorded.line) + ": recorded '" + formatEvent(recorded) +
                                 "', played '" + formatEvent(played) + "'";
        }
    };
    bool more = false;
    while (const Event* event = host.peek()) {
        const Event& e = *event;
        if (stopBefore && stopBefore(e)) {
            more = true;
            break;
        }
        host.next();
        switch (e.kind) {
            case Kind::Click: session.click(); break;
            case Kind::Move: session.mouseMove(e.button, e.shift, e.x, e.y); break;
            case Kind::Down: session.mouseDown(e.button, e.shift, e.x, e.y); break;
            case Kind::Up: session.mouseUp(e.button, e.shift, e.x, e.y); break;
            case Kind::Tick: session.tick(); break;
            case Kind::Checkpoint: compare(e); break;
            case Kind::End:
                compare(e);
                outcome.closed = true;
                break;
            case Kind::Seed:
            case Kind::Answer:
            case Kind::Cancel:
            case Kind::Table:
                throw ReplayHost::Mismatch("line " + std::to_string(e.line) + ": the demo holds '" +
                                           formatEvent(e).substr(0, 40) + "', which the game did not ask for");
        }
        if (stopAfterTick && e.kind == Kind::Tick) {
            more = true;
            break;
        }
    }
    outcome.ticks = session.ticksPlayed();
    outcome.score = session.score();
    outcome.checksum = session.checksum();
    return more;
}

std::string timedemoLine(const Outcome& outcome, double milliseconds) {
    // Written by hand, so that no locale turns the point into a comma.
    const auto tenths = static_cast<long long>(milliseconds * 10 + 0.5);
    char checksum[17];
    std::snprintf(checksum, sizeof checksum, "%016llx", static_cast<unsigned long long>(outcome.checksum));
    return "timedemo: ticks=" + std::to_string(outcome.ticks) + " score=" + std::to_string(outcome.score) +
           " frames=" + checksum + " ms=" + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

Timedemo runTimedemo(const Demo& demo, draw::Surfaces& surfaces, const std::string& programFolder) {
    ReplayHost host(demo, programFolder);
    game::Form1 form(host, surfaces);
    Session session(form, surfaces);
    host.onCue = [&session](const std::string& path) { session.cueStarted(path); };
    Outcome outcome;
    Timedemo result;
    const auto start = std::chrono::steady_clock::now();
    try {
        session.load();
        playEvents(host, session, outcome, false);
    } catch (const std::exception& error) {
        // A demo the game parts ways with, or one that ends the game with an error.
        outcome.difference = error.what();
        outcome.ticks = session.ticksPlayed();
        outcome.score = session.score();
        outcome.checksum = session.checksum();
    }
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    result.line = timedemoLine(outcome, spent.count());
    if (!outcome.difference.empty()) {
        result.status = 1;
        result.detail = "differs: " + outcome.difference;
    } else if (!outcome.closed) {
        result.detail = demo.endedEarly ? "the demo ended early, in the middle of a line"
                                        : "the demo ended early, without its closing line";
    }
    return result;
}

int timedemoMain(const std::string& path, const std::string& programFolder, const draw::PictureDecoder& decode,
                 std::FILE* out, std::FILE* err) {
    const Demo demo = readDemo(path);
    if (!demo.error.empty()) {
        std::fprintf(err, "bopatron: %s\n", demo.error.c_str());
        return 2;
    }
    draw::Surfaces surfaces;
    ReplayHost quiet(demo, programFolder);  // a missing picture shows in the checksum
    draw::loadPictures(surfaces, quiet, programFolder, decode);
    const Timedemo result = runTimedemo(demo, surfaces, programFolder);
    std::fprintf(out, "%s\n", result.line.c_str());
    if (!result.detail.empty()) std::fprintf(out, "timedemo: %s\n", result.detail.c_str());
    return result.status;
}

}  // namespace bopatron::demo
