// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The high-score table: ranking against Scores.txt, the cue and the prompt,
// the rewrite byte for byte, the faults it survives, and the printed rows.
#include "scores/printscore.h"
#include "scores/score_file.h"
#include "tests/fixture.h"


#include <gmock/gmock.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

namespace bopatron::scores {
namespace {

std::string records(std::initializer_list<std::pair<const char*, int>> list) {
    std::string text;
    for (const auto& [initials, score] : list) text += "\"" + std::string(initials) + "\"," + std::to_string(score) + "\r\n";
    return text;
}

const std::string kTable = records({{"AAA", 500}, {"BBB", 400}, {"CCC", 300}, {"DDD", 200}, {"EEE", 100}});
const std::string kThird = records({{"AAA", 500}, {"BBB", 400}, {"NEW", 350}, {"CCC", 300}, {"DDD", 200}});

class PrintscoreTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(host.unused(), 0u);
        EXPECT_EQ(host.locksHeld, 0) << "a table lock was taken and not released";
    }
    std::string file() const { return dir.filePath("Scores.txt"); }
    void store(const std::string& text) { ASSERT_EQ(runtime::replaceFile(file(), text), ""); }
    std::string stored() const {
        const runtime::FileText read = runtime::readFile(file(), kTableReadLimit);
        return read.status == runtime::FileText::Status::Read ? read.text : "<missing>";
    }
    // printscore, answering the box with the initials; returns the events joined by "|".
    std::string run(std::int16_t score, std::optional<std::string> initials = "NEW") {
        if (initials) host.answers({*initials});
        printscore(host, buffer, score);
        std::string events;
        for (const std::string& e : host.take()) events += (events.empty() ? "" : "|") + e;
        return events;
    }

    testing::TempDir dir;
    testing::FakeHost host{dir.path()};
    draw::Surface buffer{437, 284, testing::kWhite};
};

TEST_F(PrintscoreTest, ScoreIsPlacedAboveTheFirstOfRecordsOneToFiveThatIsStrictlyLower) {
    const std::string first = "cue \\one.wav|input You're Number One!!! Enter your initials.|Top 5";
    const std::string placed = "cue \\bare.wav|input You made the Top 5!!! Enter your initials.|Top 5";
    const std::string two = records({{"AAA", 500}, {"BBB", 400}});
    const std::tuple<std::string, std::int16_t, std::string, std::string> cases[] = {  // table, score, events, after
        {kTable, 600, first, records({{"NEW", 600}, {"AAA", 500}, {"BBB", 400}, {"CCC", 300}, {"DDD", 200}})},
        {kTable, 450, placed, records({{"AAA", 500}, {"NEW", 450}, {"BBB", 400}, {"CCC", 300}, {"DDD", 200}})},
        {kTable, 350, placed, kThird},
        {kTable, 300, placed, records({{"AAA", 500}, {"BBB", 400}, {"CCC", 300}, {"NEW", 300}, {"DDD", 200}})},
        {kTable, 101, placed, records({{"AAA", 500}, {"BBB", 400}, {"CCC", 300}, {"DDD", 200}, {"NEW", 101}})},
        {kTable, 100, "", kTable},
        {kTable, -20, "", kTable},
        // A quoted comma belongs to the initials.
        {records({{"AAA", 500}, {"B,B", 400}, {"CCC", 300}, {"DDD", 200}}), 350, placed,
         records({{"AAA", 500}, {"B,B", 400}, {"NEW", 350}, {"CCC", 300}, {"DDD", 200}})},
        // Beating only a sixth record, which is never written back, does not place a score.
        {kTable + records({{"SIX", 50}}), 60, "", kTable + records({{"SIX", 50}})},
        {records({{"AAA", 5}, {"BBB", 0}, {"CCC", -10}, {"DDD", -30}, {"EEE", -40}}), -20, placed,
         records({{"AAA", 5}, {"BBB", 0}, {"CCC", -10}, {"NEW", -20}, {"DDD", -30}})},
        // Fewer than five: below all is not placed; between, the rest is filled with blank records.
        {two, 250, "", two},
        {two, 450, placed, records({{"AAA", 500}, {"NEW", 450}, {"BBB", 400}, {"   ", 0}, {"   ", 0}})},
        {"", 5000, "", ""},
        // Scores read as their first four characters' numeric prefix.
        {records({{"AAA", 12345}, {"BBB", 400}}), 1000, placed,
         records({{"AAA", 1234}, {"NEW", 1000}, {"BBB", 400}, {"   ", 0}, {"   ", 0}})},
        // The ranking compares the stored text's value, not the rounded row: 12.6 is beaten by 13.
        {"\"AAA\",12.6\r\n", 13, first, records({{"NEW", 13}, {"AAA", 13}, {"   ", 0}, {"   ", 0}, {"   ", 0}})},
        {"\"AAA\",12ab\r\n\"BBB\",-7 8\r\n", 10, placed,
         records({{"AAA", 12}, {"NEW", 10}, {"BBB", -7}, {"   ", 0}, {"   ", 0}})},
        // Unparsable scores read as 0, a blank line is skipped, a quote in an
        // unquoted name is written as an apostrophe, rows past six are ignored.
        {"\"AAA\",abc\r\n\r\n\"BBB\"\r\nCCC , 70000\r\n  D\"D  ,  40 \r\n\"E,E\",30\r\n\"FFF\",20\r\n\"GGG\",10\r\n", 35, first,
         records({{"NEW", 35}, {"AAA", 0}, {"BBB", 0}, {"CCC", 7000}, {"D'D", 40}})},
    };
    for (const auto& [table, score, events, after] : cases) {
        store(table);
        chmod(file().c_str(), events.empty() ? 0444 : 0644);  // a table not placed in is not written
        EXPECT_EQ(run(score, events.empty() ? std::nullopt : std::optional<std::string>("NEW")), events) << score;
        EXPECT_EQ(stored(), after) << "score " << score;
        chmod(file().c_str(), 0644);
    }
}

TEST_F(PrintscoreTest, InitialsAreCutOrPaddedToThreeAndEmptyOrCancelledIsXXX) {
    const std::pair<const char*, const char*> cases[] = {
        {"ABCDEFG", "\"ABC\""}, {"Q", "\"Q  \""}, {"", "\"XXX\""}, {"a\"b", "\"a'b\""}, {"  x", "\"  x\""},
        // Typed as UTF-8, stored as Latin-1: one ? per 16-bit unit of a character it lacks, or per stray byte.
        {"Zo\xc3\xab", "\"Zo\xeb\""}, {"\xe2\x82\xac" "1", "\"?1 \""}, {"\xf0\x9f\x98\x80Z", "\"??Z\""},
        {"\xff" "A\xc3", "\"?A?\""}};
    for (const auto& [typed, kept] : cases) {
        store(kTable);
        run(600, typed);
        EXPECT_EQ(stored().substr(0, 11), kept + std::string(",600\r\n")) << typed;
    }
}

TEST_F(PrintscoreTest, MissingFileIsRecreatedFromTheShippedTable) {
    run(450, "WIN");
    EXPECT_EQ(stored(), records({{"BOP", 500}, {"WIN", 450}, {"RAT", 400}, {"ZAP", 300}, {"NIB", 200}}));
    std::filesystem::remove(file());
    run(0, std::nullopt);
    EXPECT_EQ(stored(), initialScoresText());
}

TEST_F(PrintscoreTest, TableWrittenByAnotherGameWhileTheBoxIsOpenIsRankedAgain) {
    const std::pair<std::string, std::string> cases[] = {  // what another game wrote meanwhile, the table after
        {records({{"AAA", 500}, {"OTH", 450}, {"BBB", 400}, {"CCC", 300}, {"DDD", 200}}),
         records({{"AAA", 500}, {"OTH", 450}, {"BBB", 400}, {"NEW", 350}, {"CCC", 300}})},
        // Others took every place meanwhile: the score no longer deserves one and is not forced in.
        {records({{"AAA", 900}, {"BBB", 800}, {"CCC", 700}, {"DDD", 600}, {"EEE", 500}}),
         records({{"AAA", 900}, {"BBB", 800}, {"CCC", 700}, {"DDD", 600}, {"EEE", 500}})},
    };
    for (const auto& [meanwhile, after] : cases) {
        store(kTable);
        host.whileAsking = [&] { store(meanwhile); };
        EXPECT_EQ(run(350).substr(0, 13), "cue \\bare.wav") << "the prompt follows the first read";
        EXPECT_EQ(stored(), after);
    }
}

TEST_F(PrintscoreTest, UnreadableTableIsLeftAsItIsAndSaidOnce) {
    ASSERT_TRUE(std::filesystem::create_directory(file()));  // a folder in its place
    EXPECT_THAT(run(600, std::nullopt), ::testing::StartsWith("message The high-score file " + file() + " could not be read"));
    EXPECT_TRUE(std::filesystem::is_directory(file()));
}

TEST_F(PrintscoreTest, OnlyTheStartOfAHugeTableIsReadAndOnlyWholeRecordsOfIt) {
    // Records of 15 bytes, shifted so that the read's limit falls at every byte of one.
    for (std::size_t shift = 0; shift < 15; ++shift) {
        std::string huge = kTable + std::string(shift, ' ') + "\r\n";
        while (huge.size() < 100000) huge += "\"JNK\",1234567\r\n";
        store(huge);
        const runtime::FileText read = runtime::readFile(file(), kTableReadLimit);
        EXPECT_LE(read.text.size(), 4096u);
        EXPECT_EQ(read.text.substr(0, kTable.size()), kTable);
        const auto rest = parseRecords(read.text.substr(kTable.size()));
        ASSERT_FALSE(rest.empty());
        for (const Record& record : rest)
            ASSERT_EQ(std::pair(record.initials, record.scoreText), std::pair(std::string("JNK"), std::string("1234567")))
                << "shift " << shift << ": a record cut at the limit is not read";
        run(350);
        EXPECT_EQ(stored(), kThird);
    }
}

TEST_F(PrintscoreTest, DanglingLinkIsNotTakenForAMissingTable) {
    std::filesystem::create_symlink(dir.filePath("elsewhere/Scores.txt"), file());
    EXPECT_THAT(run(600, std::nullopt), ::testing::StartsWith("message The high-score file " + file() + " could not be read"));
    EXPECT_TRUE(std::filesystem::is_symlink(file())) << "the link is left as it is";
    EXPECT_FALSE(std::filesystem::exists(dir.filePath("elsewhere")));
}

TEST_F(PrintscoreTest, FullDiskKeepsTheOldTableAndSaysSoOnce) {
    store(kTable);
    // A file size limit makes every write past 16 bytes fail, as a full disk would.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = old;
    tiny.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &tiny);
    const std::string events = run(600, "LOS");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(stored(), kTable);
    EXPECT_THAT(events, ::testing::HasSubstr("|Top 5|message Your score could not be saved to " + file())) << events;
    EXPECT_EQ(events.find("message"), events.rfind("message")) << "said once";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
        << "no temporary file is left behind";
}

TEST_F(PrintscoreTest, HeadingThenAtMostFiveRowsEachFollowedByAnEmptyLineBelowTheStatusText) {
    std::vector<std::string> lines;
    buffer.onPrint = [&lines](std::string_view line) { lines.emplace_back(line); };
    buffer.text.fontName = "Terminal";
    buffer.text.fontSize = 9;
    buffer.text.currentY = 40;
    store(records({{"ABC", 150}, {"XXX", 1500}, {"XXX", -20}}));
    run(-30, std::nullopt);
    EXPECT_THAT(lines, ::testing::ElementsAre("", "", " Top 5 Scores", "", " 1. ABC  150 ", "", " 2. XXX  1500", "",
                                              " 3. XXX  -20 ", ""));
    EXPECT_EQ(std::tuple(buffer.text.fontSize, buffer.text.currentX), std::tuple(8.0, 0));
    // Lines of 14 pixels in the 9-point face, rows of 13 in the 8-point one.
    EXPECT_EQ(buffer.text.currentY, 40 + 4 * 14 + 6 * 13);
    store(kTable + records({{"SIX", 50}}));
    lines.clear();
    run(0, std::nullopt);
    EXPECT_EQ(lines.size(), 4u + 2 * 5u);
}

}  // namespace
}  // namespace bopatron::scores
