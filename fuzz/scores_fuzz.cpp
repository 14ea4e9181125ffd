// The high-score table against any file and any typed initials.
//
// Input: two bytes of score (little-endian), one byte giving the length of
// the initials (its low three bits), the initials, then the file's bytes.
// Checks, besides the sanitizers: the table is rewritten exactly when the
// score beats one of its first five records; the rewritten file is the five
// records the ranking gives, byte for byte; and it reads back as written.

#include "draw/surface.h"
#include "fuzz/fuzz_support.h"
#include "runtime/basic.h"
#include "scores/printscore.h"
#include "scores/score_file.h"

#include <QGuiApplication>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace bopatron;

class TableHost : public fuzz::QuietHost {
public:
    using QuietHost::QuietHost;
    std::string inputBox(const std::string&, const std::optional<std::string>&) override {
        ++boxes;
        return answer;
    }
    std::string answer;
    int boxes = 0;
};

struct Row {
    std::string initials;
    std::int16_t score;
};

// Initials as a record stores them: a double quote as an apostrophe, a line
// end as a space.
std::string storable(std::string text) {
    for (char& c : text) {
        if (c == '"') c = '\'';
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

// The initials the player's record gets for a typed answer: its Latin-1 bytes.
std::string storedInitials(const std::string& answer) {
    std::string text = QString::fromStdString(answer).toLatin1().toStdString();
    if (text.empty()) text = scores::kNoInitials;
    return storable(runtime::fixedText(text, 3));
}

// The table that ranking the score gives, or nothing when the score is not placed.
std::optional<std::vector<Row>> expectedTable(const std::string& file, std::int16_t score,
                                              const std::string& answer) {
    auto records = scores::parseRecords(file);
    if (records.size() > 6) records.resize(6);
    std::vector<Row> rows;
    std::optional<std::size_t> place;
    for (const scores::Record& r : records) {
        const double value = scores::scoreValue(runtime::fixedText(r.scoreText, 4));
        if (!place && rows.size() < 5 && value < score) place = rows.size();
        rows.push_back({storable(runtime::fixedText(r.initials, 3)), runtime::toInteger(value)});
    }
    if (!place) return std::nullopt;
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(*place), Row{storedInitials(answer), score});
    rows.resize(5, Row{"   ", 0});
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Printing needs an application. It lives until the process ends and is
    // never destroyed: tearing it down during exit races Qt's own clean-up.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication* app = new QGuiApplication(*argc, *argv);
    (void)app;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const auto score = static_cast<std::int16_t>(data[0] | (data[1] << 8));
    const std::size_t length = std::min<std::size_t>(data[2] & 7u, size - 3);
    TableHost host(fuzz::scratchFolder());
    host.answer.assign(reinterpret_cast<const char*>(data + 3), length);
    const std::string file(reinterpret_cast<const char*>(data + 3 + length), size - 3 - length);

    const std::string path = scores::scoresPath(host);
    fuzz::writeWhole(path, file);
    static draw::Surface Picbuf(437, 284, Qt::white);
    Picbuf.text.currentY = 0;
    scores::printscore(host, Picbuf, score);
    const std::string after = scores::readFile(path).text;
    fuzz::check(host.message.empty(), "a message box: " + host.message);

    const auto expected = expectedTable(file, score, host.answer);
    if (!expected) {
        fuzz::check(host.boxes == 0, "asked for initials although the score was not placed");
        fuzz::check(after == file, "the table changed although the score was not placed");
        return 0;
    }
    fuzz::check(host.boxes == 1, "asked for initials " + std::to_string(host.boxes) + " times");
    std::string text;
    for (const Row& row : *expected) text += scores::formatRecord(row.initials, row.score);
    fuzz::check(after == text, "the rewritten table is not the ranking:\n" + after + "\nexpected:\n" + text);

    // Reads back as written: the same five records, field for field.
    const auto again = scores::parseRecords(after);
    fuzz::check(again.size() == 5, "the rewritten table holds " + std::to_string(again.size()) + " records");
    for (std::size_t i = 0; i < again.size() && i < 5; ++i) {
        const Row& row = (*expected)[i];
        fuzz::check(again[i].initials == row.initials && again[i].scoreText == runtime::str(row.score),
                    "record " + std::to_string(i + 1) + " reads back as \"" + again[i].initials + "\"," +
                        again[i].scoreText + " instead of \"" + row.initials + "\"," +
                        runtime::str(row.score));
    }
    return 0;
}
