// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "tests/game_fixture.h"

#include <QDir>

#include <fstream>

namespace bopatron::testing {

draw::Surfaces blankSurfaces() {
    draw::Surfaces s;
    s.Picmsk3 = draw::Surface(275, 182, Qt::white);
    s.Picimg3 = draw::Surface(275, 182, Qt::black);
    s.Picmsk2 = draw::Surface(275, 182, Qt::white);
    s.Picimg2 = draw::Surface(275, 182, Qt::black);
    s.Picbuf = draw::Surface(437, 284, QColor(240, 240, 240));
    s.Picmsk = draw::Surface(275, 181, Qt::white);
    s.Picimg = draw::Surface(275, 181, Qt::black);
    s.Picbak = draw::Surface(436, 284, QColor(0, 128, 0));
    s.window = draw::Surface(437, 284, QColor(240, 240, 240));
    return s;
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void writeUniformSprites(const std::string& folder, std::int16_t offX, std::int16_t offY,
                         std::int16_t w, std::int16_t h) {
    std::vector<std::uint8_t> bytes;
    auto put = [&bytes](std::int16_t v) {
        const auto u = static_cast<std::uint16_t>(v);
        bytes.push_back(static_cast<std::uint8_t>(u & 0xff));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    for (int f = 1; f <= 15; ++f) {
        for (std::int16_t v : {offX, offY, std::int16_t(100), std::int16_t(0), w, h}) put(v);
    }
    writeBytes(folder + "/whack_img.spr", bytes);
}

GameTest::GameTest()
    : host(QDir(dir.path()).absolutePath().toStdString()),
      surfaces(blankSurfaces()),
      form(host, surfaces),
      s(form.state()) {}

void GameTest::TearDown() {
    EXPECT_EQ(host.unusedDraws(), 0u) << "scripted Rnd values were not drawn";
    EXPECT_EQ(host.unusedAnswers(), 0u) << "scripted answers were not asked for";
}

std::string GameTest::path(const char* name) const {
    return QDir(dir.path()).filePath(QString::fromLatin1(name)).toStdString();
}

void GameTest::load() {
    writeUniformSprites(host.programFolder(), -20, -30, 40, 40);
    form.Form_Load();
    host.takeEvents();
}

void GameTest::newGame(const std::string& answer, double openingDraw) {
    host.answers({answer});
    host.draws({openingDraw});
    form.Command1_Click();
}

void GameTest::quietTicks(int count) {
    for (int i = 0; i < count; ++i) tick({0.0});
}

void GameTest::tick(std::initializer_list<double> draws) {
    host.draws(draws);
    form.Timer1_Timer();
}

void GameTest::place(int row, int col, std::int16_t pos, std::int16_t pace) {
    s.ratPos[row][col] = pos;
    s.ratPace[row][col] = pace;
}

}  // namespace bopatron::testing
