// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The high-score table: ranking against Scores.txt, the cue and the prompt,
// the rewrite byte for byte, and the rows printed on the back buffer.
#include "scores/printscore.h"
#include "scores/score_file.h"
#include "tests/fake_host.h"
#include "tests/game_fixture.h"

#include <QDir>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gmock/gmock.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

namespace bopatron::scores {
namespace {

using ::testing::ElementsAre;

std::string records(std::initializer_list<std::pair<const char*, int>> list) {
    std::string text;
    for (const auto& [initials, score] : list) {
        text += "\"" + std::string(initials) + "\"," + std::to_string(score) + "\r\n";
    }
    return text;
}

const std::string kTable = records({{"AAA", 500}, {"BBB", 400}, {"CCC", 300}, {"DDD", 200}, {"EEE", 100}});

// printscore with a recorder of the printed lines.
class PrintscoreTest : public ::testing::Test {
protected:
    PrintscoreTest() : host(QDir(dir.path()).absolutePath().toStdString()) {
        buffer = draw::Surface(437, 284, Qt::white);
        buffer.text.fontName = QStringLiteral("Terminal");
        buffer.text.fontSize = 9;
    }
    void TearDown() override { EXPECT_EQ(host.unusedAnswers(), 0u); }

    std::string file() const { return dir.filePath("Scores.txt").toStdString(); }
    void store(const std::string& text) { ASSERT_EQ(writeFileAtomically(file(), text), ""); }
    std::string stored() const {
        const FileText read = readFile(file());
        return read.status == FileText::Status::Read ? read.text : "<missing>";
    }
    void run(std::int16_t score) { printscore(host, buffer, score); }

    QTemporaryDir dir;
    testing::FakeHost host;
    draw::Surface buffer;
};

TEST_F(PrintscoreTest, ScoreIsPlacedAboveTheFirstOfRecordsOneToFiveThatIsStrictlyLower) {
    const std::string kFirst = "cue \\one.wav|input You're Number One!!! Enter your initials.|Top 5";
    const std::string kPlaced = "cue \\bare.wav|input You made the Top 5!!! Enter your initials.|Top 5";
    struct Case {
        std::string table;
        std::int16_t score;
        std::string events;  // "" when the score is not placed
        std::string after;   // the table after the round
    };
    const std::string quoted = records({{"AAA", 500}, {"B,B", 400}, {"CCC", 300}, {"DDD", 200}, {"EEE", 100}});
    const Case cases[] = {
        {kTable, 600, kFirst, records({{"NEW", 600}, {"AAA", 500}, {"BBB", 400}, {"CCC", 300}, {"DDD", 200}})},
        {kTable, 450, kPlaced, records({{"AAA", 500}, {"NEW", 450}, {"BBB", 400}, {"CCC", 300}, {"DDD", 200}})},
        {kTable, 350, kPlaced, records({{"AAA", 500}, {"BBB", 400}, {"NEW", 350}, {"CCC", 300}, {"DDD", 200}})},
        {kTable, 300, kPlaced, records({{"AAA", 500}, {"BBB", 400}, {"CCC", 300}, {"NEW", 300}, {"DDD", 200}})},
        {kTable, 101, kPlaced, records({{"AAA", 500}, {"BBB", 400}, {"CCC", 300}, {"DDD", 200}, {"NEW", 101}})},
        {kTable, 100, "", kTable},
        {kTable, -20, "", kTable},
        // A quoted comma belongs to the initials.
        {quoted, 350, kPlaced, records({{"AAA", 500}, {"B,B", 400}, {"NEW", 350}, {"CCC", 300}, {"DDD", 200}})},
        // Beating only a sixth record, which is never written back, does not place a score.
        {kTable + records({{"SIX", 50}}), 60, "", kTable + records({{"SIX", 50}})},
        {records({{"AAA", 5}, {"BBB", 0}, {"CCC", -10}, {"DDD", -30}, {"EEE", -40}}), -20, kPlaced,
         records({{"AAA", 5}, {"BBB", 0}, {"CCC", -10}, {"NEW", -20}, {"DDD", -30}})},
        // Fewer than five: below all is not placed; between, the rest is filled with blank records.
        {records({{"AAA", 500}, {"BBB", 400}}), 250, "", records({{"AAA", 500}, {"BBB", 400}})},
        {records({{"AAA", 500}, {"BBB", 400}}), 450, kPlaced,
         records({{"AAA", 500}, {"NEW", 450}, {"BBB", 400}, {"   ", 0}, {"   ", 0}})},
        {"", 5000, "", ""},
        // Scores read as their first four characters' numeric prefix.
        {records({{"AAA", 12345}, {"BBB", 400}}), 1000, kPlaced,
         records({{"AAA", 1234}, {"NEW", 1000}, {"BBB", 400}, {"   ", 0}, {"   ", 0}})},
        {"\"AAA\",12ab\r\n\"BBB\",-7 8\r\n", 10, kPlaced,
         records({{"AAA", 12}, {"NEW", 10}, {"BBB", -7}, {"   ", 0}, {"   ", 0}})},
    };
    for (const Case& c : cases) {
        store(c.table);
        chmod(file().c_str(), c.events.empty() ? 0444 : 0644);  // a table not placed in is not written
        if (!c.events.empty()) host.answers({"NEW"});
        run(c.score);
        std::string events;
        for (const std::string& e : host.takeEvents()) events += (events.empty() ? "" : "|") + e;
        EXPECT_EQ(events, c.events) << "score " << c.score;
        EXPECT_EQ(stored(), c.after) << "score " << c.score;
        chmod(file().c_str(), 0644);
    }
}

TEST_F(PrintscoreTest, InitialsAreCutOrPaddedToThreeAndEmptyOrCancelledIsXXX) {
    store(kTable);
    host.answers({"ABCDEFG"});
    run(600);
    EXPECT_EQ(stored().substr(0, 11), "\"ABC\",600\r\n");
    host.answers({"Q"});
    run(700);
    EXPECT_EQ(stored().substr(0, 11), "\"Q  \",700\r\n");
    host.answers({""});
    run(800);
    EXPECT_EQ(stored().substr(0, 11), "\"XXX\",800\r\n");
    host.answers({"a\"b"});
    run(900);
    EXPECT_EQ(stored().substr(0, 11), "\"a'b\",900\r\n") << "a quote cannot be stored";
    host.answers({"  x"});
    run(950);
    EXPECT_EQ(stored().substr(0, 11), "\"  x\",950\r\n") << "typed as typed";
}

TEST_F(PrintscoreTest, MissingFileIsRecreatedFromTheShippedTable) {
    host.answers({"WIN"});
    run(450);
    EXPECT_EQ(stored(), records({{"BOP", 500}, {"WIN", 450}, {"RAT", 400}, {"ZAP", 300}, {"NIB", 200}}));
    QFile::remove(QString::fromStdString(file()));
    run(0);
    EXPECT_EQ(stored(), initialScoresText());
}

TEST_F(PrintscoreTest, MalformedFileIsReadWithoutEndingTheGame) {
    store("\"AAA\",abc\r\n\r\n\"BBB\"\r\nCCC , 70000\r\n  DDD  ,  40 \r\n\"E,E\",30\r\n\"FFF\",20\r\n\"GGG\",10\r\n");
    host.answers({"NEW"});
    run(35);
    // "abc" and the missing score read as 0, "70000" as its first four
    // characters; the blank line is skipped and records past row six are ignored.
    EXPECT_EQ(stored(), records({{"NEW", 35}, {"AAA", 0}, {"BBB", 0}, {"CCC", 7000}, {"DDD", 40}}));

    // An unquoted name may hold a quote; it is written as an apostrophe so
    // that the rewritten record reads back whole.
    store("a\"b,50\r\n");
    host.answers({"NEW"});
    run(60);
    EXPECT_EQ(stored().substr(0, 20), "\"NEW\",60\r\n\"a'b\",50\r\n");
}

TEST_F(PrintscoreTest, TableWrittenByAnotherGameWhileTheBoxIsOpenIsRankedAgain) {
    struct Case {
        std::string meanwhile;  // what another game wrote while the box was open
        std::string after;
    };
    const Case cases[] = {
        {records({{"AAA", 500}, {"OTH", 450}, {"BBB", 400}, {"CCC", 300}, {"DDD", 200}}),
         records({{"AAA", 500}, {"OTH", 450}, {"BBB", 400}, {"ME ", 350}, {"CCC", 300}})},
        // Others took every place meanwhile: the score no longer deserves one and is not forced in.
        {records({{"AAA", 900}, {"BBB", 800}, {"CCC", 700}, {"DDD", 600}, {"EEE", 500}}),
         records({{"AAA", 900}, {"BBB", 800}, {"CCC", 700}, {"DDD", 600}, {"EEE", 500}})},
    };
    for (const Case& c : cases) {
        store(kTable);
        host.answers({"ME"});
        host.whileAsking = [&] { store(c.meanwhile); };
        run(350);
        EXPECT_EQ(stored(), c.after);
        EXPECT_EQ(host.cues(), std::vector<std::string>{"\\bare.wav"}) << "the prompt follows the first read";
        host.takeEvents();
    }
}

TEST_F(PrintscoreTest, ALockLeftByACrashedGameIsTakenOver) {
    store(kTable);
    QFile lock(QString::fromStdString(file() + ".lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));  // a game that no longer runs held it
    lock.write("2147483646\nbopatron\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();
    host.answers({"NEW"});
    run(350);
    EXPECT_EQ(stored(), records({{"AAA", 500}, {"BBB", 400}, {"NEW", 350}, {"CCC", 300}, {"DDD", 200}}));
    EXPECT_FALSE(lock.exists()) << "taken over, then released";
}

TEST_F(PrintscoreTest, UnreadableTableIsLeftAsItIsAndSaidOnce) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Scores.txt")));  // a folder in its place
    run(600);
    ASSERT_EQ(host.events().size(), 1u);
    EXPECT_EQ(host.events()[0].rfind("message The high-score file " + file() + " could not be read", 0), 0u)
        << host.events()[0];
    EXPECT_TRUE(QFileInfo(QString::fromStdString(file())).isDir());
}

TEST_F(PrintscoreTest, OnlyTheStartOfAHugeTableIsRead) {
    std::string huge = kTable;
    while (huge.size() < 100000) huge += "\"JNK\",1\r\n";
    store(huge);
    const FileText read = readFile(file());
    EXPECT_LE(read.text.size(), 4096u);
    EXPECT_EQ(read.text.substr(0, kTable.size()), kTable);
    EXPECT_EQ(read.text.back(), '\n') << "cut after a whole line";
    host.answers({"NEW"});
    run(350);
    EXPECT_EQ(stored(), records({{"AAA", 500}, {"BBB", 400}, {"NEW", 350}, {"CCC", 300}, {"DDD", 200}}));
}

TEST_F(PrintscoreTest, FullDiskKeepsTheOldTableAndSaysSoOnce) {
    store(kTable);
    host.answers({"LOS"});
    // A file size limit makes every write past 16 bytes fail, as a full disk would.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = old;
    tiny.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &tiny);
    run(600);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(stored(), kTable);
    std::size_t messages = 0;
    for (const auto& e : host.events()) messages += e.rfind("message ", 0) == 0;
    EXPECT_EQ(messages, 1u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Scores.txt")})
        << "no temporary file is left behind";
}

TEST_F(PrintscoreTest, HeadingThenAtMostFiveRowsEachFollowedByAnEmptyLine) {
    store(records({{"ABC", 150}, {"XXX", 1500}, {"XXX", -20}}));
    std::vector<std::string> lines;
    buffer.onPrint = [&lines](std::string_view line) { lines.emplace_back(line); };
    run(-30);
    EXPECT_THAT(lines, ElementsAre("", "", " Top 5 Scores", "", " 1. ABC  150 ", "", " 2. XXX  1500", "",
                                   " 3. XXX  -20 ", ""));
    EXPECT_EQ(buffer.text.fontSize, 8.0);
    EXPECT_EQ(buffer.text.fontName, QStringLiteral("Terminal"));
    store(kTable + records({{"SIX", 50}}));
    lines.clear();
    run(0);
    EXPECT_EQ(lines.size(), 4u + 2 * 5u);
}

TEST_F(PrintscoreTest, HeadingStartsOnTheLineBelowTheStatusText) {
    buffer.text.currentX = 0;
    buffer.text.currentY = 40;
    store(kTable);
    run(0);
    // Lines of 14 pixels in the 9-point face, rows of 13 in the 8-point one.
    EXPECT_EQ(buffer.text.currentY, 40 + 4 * 14 + 10 * 13);
    EXPECT_EQ(buffer.text.currentX, 0);
}

}  // namespace
}  // namespace bopatron::scores
