// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A host for tests, whose Rnd draws and input-box answers come from scripts
// and which records every event in order; and a Form1 around it, with blank
// surfaces and a program folder of its own.

#include "draw/surface.h"
#include "game/form1.h"
#include "runtime/host.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
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

    std::function<void()> whileAsking;  // runs while a box is open: another game may write meanwhile
    std::mt19937* random = nullptr;     // when set, unscripted draws and answers come from it
    bool clockEnabled = false;

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

// Surfaces of the window's sizes: white masks, black images, a green field.
inline draw::Surfaces blankSurfaces() {
    draw::Surfaces s;
    s.Picmsk = draw::Surface(275, 181, Qt::white);
    s.Picmsk2 = s.Picmsk3 = draw::Surface(275, 182, Qt::white);
    s.Picimg = draw::Surface(275, 181, Qt::black);
    s.Picimg2 = s.Picimg3 = draw::Surface(275, 182, Qt::black);
    s.Picbuf = s.window = draw::Surface(437, 284, QColor(240, 240, 240));
    s.Picbak = draw::Surface(436, 284, QColor(0, 128, 0));
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
    void TearDown() override { EXPECT_EQ(host.unused(), 0u) << "scripted draws or answers were not used"; }
    std::string path(const char* name) const { return QDir(dir.path()).filePath(name).toStdString(); }
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

    QTemporaryDir dir;
    FakeHost host{QDir(dir.path()).absolutePath().toStdString()};
    draw::Surfaces surfaces = blankSurfaces();
    game::Form1 form{host, surfaces};
    game::GameState& s = form.state();
};

}  // namespace bopatron::testing
