// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A host for tests, whose Rnd draws and input-box answers come from scripts
// and which records every event in order; and a Form1 around it, with blank
// surfaces and a program folder of its own.

#include "draw/surface.h"
#include "game/form1.h"
#include "runtime/host.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <functional>
#include <random>
#include <utility>

namespace bopatron::testing {

class FakeHost : public runtime::Host {
public:
    explicit FakeHost(std::string folder) : folder_(std::move(folder)) {}

    // Scripts: the next draws of Rnd and the next answers typed, in order.
    void draws(std::initializer_list<double> values) { draws_.insert(draws_.end(), values); }
    void answers(std::initializer_list<std::string> values) { answers_.insert(answers_.end(), values); }
    std::size_t unused() const { return draws_.size() + answers_.size(); }

    // "clock on", "clock off", "pointer 99", "randomize", "input <prompt>" or
    // "input <prompt>|<title>", "cue \<name>", "message <text>".
    std::vector<std::string> events;
    std::vector<std::string> take() { return std::exchange(events, {}); }
    std::vector<std::string> cues() const {
        std::vector<std::string> names;
        for (const std::string& e : events)
            if (e.rfind("cue ", 0) == 0) names.push_back(e.substr(4));
        return names;
    }

    void setClockEnabled(bool enabled) override {
        clockEnabled = enabled;
        events.push_back(enabled ? "clock on" : "clock off");
    }
    void setPointer(std::int16_t code) override { events.push_back("pointer " + std::to_string(code)); }
    std::string inputBox(const std::string& prompt, const std::optional<std::string>& title) override {
        events.push_back("input " + prompt + (title ? "|" + *title : ""));
        if (whileAsking) whileAsking();
        if (!answers_.empty()) return take(answers_);
        if (!random) ADD_FAILURE() << "an input box with no answer scripted: " << prompt;
        return random ? std::vector<std::string>{"", "A", "BOB", "a long name", "\"q\""}[(*random)() % 5] : "";
    }
    void randomize() override { events.push_back("randomize"); }
    double rnd() override {
        if (!draws_.empty()) return take(draws_);
        if (!random) throw std::logic_error("Rnd drawn with no value scripted");
        return std::uniform_real_distribution<double>(0, 1)(*random);
    }
    std::string programFolder() override { return folder_; }
    void playSoundAsync(const std::string& path) override {
        events.push_back("cue \\" + path.substr(path.rfind('/') + 1));
    }
    void messageBox(const std::string& text) override { events.push_back("message " + text); }
    // Every lock taken must be given back, or the next game waits on it forever.
    bool lockTable(const std::string&) override {
        ++locksHeld;
        return true;
    }
    void unlockTable(const std::string&) override { --locksHeld; }

    std::function<void()> whileAsking;  // runs while a box is open: another game may write meanwhile
    std::mt19937* random = nullptr;     // when set, unscripted draws and answers come from it
    bool clockEnabled = false;
    int locksHeld = 0;

private:
    template <typename T> static T take(std::deque<T>& queue) {
        T value = queue.front();
        queue.pop_front();
        return value;
    }
    std::string folder_;
    std::deque<double> draws_;
    std::deque<std::string> answers_;
};

constexpr std::uint32_t rgb(int r, int g, int b) {
    return 0xff000000u | static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 | static_cast<std::uint32_t>(b);
}
inline constexpr std::uint32_t kWhite = rgb(255, 255, 255), kBlack = rgb(0, 0, 0), kRed = rgb(255, 0, 0),
                               kBlue = rgb(0, 0, 255), kGreen = rgb(0, 128, 0);

// A rectangle of pixels; the empty one is all zeros.
struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    int left() const { return x; }
    int top() const { return y; }
    Rect& operator|=(const Rect& o) {
        if (o.w == 0) return *this;
        if (w == 0) return *this = o;
        const int right = std::max(x + w, o.x + o.w), bottom = std::max(y + h, o.y + o.h);
        x = std::min(x, o.x);
        y = std::min(y, o.y);
        w = right - x;
        h = bottom - y;
        return *this;
    }
    bool operator==(const Rect&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Rect& r) {
        return out << r.w << "x" << r.h << "+" << r.x << "+" << r.y;
    }
};

// A scratch folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string name = (std::filesystem::temp_directory_path() / "bopatron-test-XXXXXX").string();
        path_ = ::mkdtemp(name.data()) ? name : std::string();
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string filePath(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Surfaces of the window's sizes: white masks, black images, a green field.
inline draw::Surfaces blankSurfaces() {
    draw::Surfaces s;
    s.Picmsk = draw::Surface(275, 181, kWhite);
    s.Picmsk2 = s.Picmsk3 = draw::Surface(275, 182, kWhite);
    s.Picimg = draw::Surface(275, 181, kBlack);
    s.Picimg2 = s.Picimg3 = draw::Surface(275, 182, kBlack);
    s.Picbuf = s.window = draw::Surface(437, 284, rgb(240, 240, 240));
    s.Picbak = draw::Surface(436, 284, kGreen);
    return s;
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// whack_img.spr with every frame 1 to 15 at (offX, offY) from its anchor,
// w x h, taken from (100, 0) of the sheets.
inline void writeSprites(const std::string& folder, std::int16_t offX, std::int16_t offY, std::int16_t w,
                         std::int16_t h) {
    std::string bytes;
    for (int f = 1; f <= 15; ++f)
        for (std::int16_t v : {offX, offY, std::int16_t(100), std::int16_t(0), w, h})
            bytes += {char(v & 0xff), char((v >> 8) & 0xff)};
    writeBytes(folder + "/whack_img.spr", bytes);
}

class GameTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(host.unused(), 0u) << "scripted draws or answers were not used";
        EXPECT_EQ(host.locksHeld, 0) << "a table lock was taken and not released";
    }
    std::string path(const char* name) const { return dir.filePath(name); }
    // Form_Load with frames of 40 x 40 at (-20, -30) from the anchor.
    void load() {
        writeSprites(host.programFolder(), -20, -30, 40, 40);
        form.Form_Load();
        host.take();
    }
    // "New Game" with the typed answer and the draw that picks the opening cue.
    void newGame(const std::string& answer, double openingDraw = 0.0) {
        host.answers({answer});
        host.draws({openingDraw});
        form.Command1_Click();
    }
    void tick(std::initializer_list<double> draws = {0.0}) {
        host.draws(draws);
        form.Timer1_Timer();
    }
    // Ticks in which no rat is attempted.
    void quietTicks(int count) {
        while (count-- > 0) tick();
    }
    void place(int row, int col, std::int16_t pos, std::int16_t pace) {
        s.ratPos[row][col] = pos;
        s.ratPace[row][col] = pace;
    }

    TempDir dir;
    FakeHost host{dir.path()};
    draw::Surfaces surfaces = blankSurfaces();
    game::Form1 form{host, surfaces};
    game::GameState& s = form.state();
};

}  // namespace bopatron::testing
