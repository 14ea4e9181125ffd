// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// Many simulated rounds at random difficulties, with random mouse moves and
// presses between ticks; after every tick the game state must still make sense.
#include "scores/score_file.h"
#include "tests/game_fixture.h"

#include <QDir>

#include <random>

namespace bopatron::testing {
namespace {

// A host that draws real random numbers and answers every box at random.
class SoakHost : public runtime::Host {
public:
    explicit SoakHost(std::string folder) : folder_(std::move(folder)) {}
    void setClockEnabled(bool enabled) override { clock = enabled; }
    void setPointer(std::int16_t) override {}
    std::string inputBox(const std::string&, const std::optional<std::string>&) override {
        static const char* const answers[] = {"", "A", "BOB", "longer name", "\"q\"", "Zz9"};
        return answers[pick(6)];
    }
    void randomize() override {}
    double rnd() override { return std::uniform_real_distribution<double>(0.0, 1.0)(engine); }
    std::string programFolder() override { return folder_; }
    void playSoundAsync(const std::string&) override {}
    void messageBox(const std::string& text) override { ADD_FAILURE() << text; }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine); }

    bool clock = false;
    std::mt19937 engine{20261207};

private:
    std::string folder_;
};

TEST(Soak, FiveHundredRoundsKeepTheStateAndTheTableSound) {
    QTemporaryDir dir;
    SoakHost host(QDir(dir.path()).absolutePath().toStdString());
    writeUniformSprites(host.programFolder(), -20, -30, 40, 40);
    draw::Surfaces surfaces = blankSurfaces();
    game::Form1 form(host, surfaces);
    game::GameState& s = form.state();
    form.Form_Load();
    const std::string table = QDir(dir.path()).filePath(QStringLiteral("Scores.txt")).toStdString();

    for (int round = 0; round < 500; ++round) {
        // Difficulties 0 to 8 mostly, sometimes far below.
        const int difficulty = host.pick(10) == 0 ? -host.pick(100) : host.pick(9);
        s.ticks.reset();
        form.Command1_Click();
        s.difficulty = static_cast<std::int16_t>(difficulty);
        // The score from its gains and losses, counted from the holes alone:
        // 3 x f for each rat up at f whose 40 x 40 frame at (-20, -30) from
        // its anchor holds the press strictly inside, and 20 for each rat at
        // 1 whose pace divides the coming tick.
        long expected = 0;
        while (host.clock) {
            // Mouse activity between ticks.
            for (int e = host.pick(3); e > 0; --e) {
                const int x = host.pick(437);
                const int y = host.pick(284);
                switch (host.pick(4)) {
                    case 0:
                        for (int col = 0; col < 3; ++col)
                            for (int row = 0; row < 3; ++row) {
                                const int f = s.ratPos[row][col], left = s.holeX[row][col] - 20,
                                          top = s.holeY[row][col] - 30;
                                if (f >= 1 && f <= 12 && left < x && x < left + 40 && top < y && y < top + 40)
                                    expected += 3 * f;
                            }
                        form.Form_MouseDown(1, 0, static_cast<float>(x), static_cast<float>(y));
                        break;
                    case 1:
                        form.Form_MouseUp(1, 0, static_cast<float>(x), static_cast<float>(y));
                        break;
                    default:
                        form.Form_MouseMove(0, 0, static_cast<float>(x), static_cast<float>(y));
                        break;
                }
            }
            const int next = *s.ticks + 1;
            for (int row = 0; row < 3; ++row)
                for (int col = 0; col < 3; ++col)
                    if (s.ratPos[row][col] == 1 && next % s.ratPace[row][col] == 0) expected -= 20;
            form.Timer1_Timer();
            ASSERT_EQ(s.score, expected) << "round " << round << " tick " << *s.ticks;
            for (int row = 0; row < 3; ++row) {
                for (int col = 0; col < 3; ++col) {
                    ASSERT_GE(s.ratPos[row][col], 0);
                    ASSERT_LE(s.ratPos[row][col], 14);
                    if (s.ratPos[row][col] != 0) {
                        ASSERT_GE(s.ratPace[row][col], 1);
                    }
                }
            }
            ASSERT_GE(s.ratKind, 0);
            ASSERT_LE(s.ratKind, 2);
        }
        ASSERT_EQ(*s.ticks, 1000);
        const std::string text = scores::readFile(table).text;
        const auto records = scores::parseRecords(text);
        ASSERT_EQ(records.size(), 5u) << text;
        std::string rewritten;
        for (const auto& r : records) rewritten += scores::formatRecord(r.initials, static_cast<std::int16_t>(std::stoi(r.scoreText)));
        ASSERT_EQ(rewritten, text) << "the table reads back as written";
    }
}

}  // namespace
}  // namespace bopatron::testing
