#include "scores/printscore.h"

#include "runtime/basic.h"
#include "scores/score_file.h"
#include "sound/cues.h"

#include <QString>

#include <array>
#include <vector>

namespace bopatron::scores {

using runtime::fixedText;
using runtime::toInteger;

namespace {

constexpr std::size_t kRows = 6;     // the working table's rows; row 6 is never written
constexpr std::size_t kWritten = 5;  // records written back

struct Row {
    std::string topInitials = std::string(3, ' ');  // unfilled rows are written blank
    std::int16_t topScores = 0;
};

// The typed text as the file's one-byte characters.
std::string initialsFromAnswer(const std::string& answer) {
    return QString::fromStdString(answer).toLatin1().toStdString();
}

// The records of the file, re-creating it from the shipped table when missing.
std::vector<Record> readTable(runtime::Host& host, const std::string& path) {
    auto text = readFile(path);
    if (!text) {
        const std::string initial = initialScoresText();
        const std::string error = writeFileAtomically(path, initial);
        if (!error.empty()) {
            host.messageBox("The high-score table " + path + " could not be created: " + error);
        }
        text = initial;
    }
    auto records = parseRecords(*text);
    if (records.size() > kRows) records.resize(kRows);
    return records;
}

}  // namespace

std::string scoresPath(runtime::Host& host) {
    return runtime::programPath(host.scoresFolder(), kScoresFile);
}

void printscore(runtime::Host& host, draw::Surface& Picbuf, std::int16_t score) {
    Picbuf.print("");
    Picbuf.print("");
    Picbuf.print(kHeading);
    Picbuf.print("");

    // Ranking pass.
    std::array<Row, kRows + 1> rows{};  // rows[1] to rows[6]
    std::size_t entryNo = 0;
    bool scorePlaced = false;
    bool tableChanged = false;
    const std::string path = scoresPath(host);
    for (const Record& record : readTable(host, path)) {
        const std::string fileInitials = fixedText(record.initials, 3);
        const std::string fileScore = fixedText(record.scoreText, 4);
        const double fileValue = scoreValue(fileScore);
        ++entryNo;
        if (entryNo > kRows) break;
        rows[entryNo] = {fileInitials, toInteger(fileValue)};
        // A score can take rows 1 to 5 only: row 6 is never written back.
        if (!scorePlaced && entryNo <= kWritten && fileValue < score) {
            std::string promptText;
            if (entryNo == 1) {
                sound::playCue(host, sound::kOne);
                promptText = kFirstPrompt;
            } else {
                sound::playCue(host, sound::kBare);
                promptText = kPlacedPrompt;
            }
            std::string typedInitials = initialsFromAnswer(host.inputBox(promptText, std::string(kTopTitle)));
            if (typedInitials.empty()) typedInitials = kNoInitials;
            rows[entryNo] = {fixedText(typedInitials, 3), score};
            tableChanged = true;
            ++entryNo;
            scorePlaced = true;
            if (entryNo < kRows) rows[entryNo] = {fileInitials, toInteger(fileValue)};
        }
    }

    // Rewrite, only when the score was placed.
    if (tableChanged) {
        std::string text;
        for (std::size_t rankNo = 1; rankNo <= kWritten; ++rankNo) {
            text += formatRecord(rows[rankNo].topInitials, rows[rankNo].topScores);
        }
        const std::string error = writeFileAtomically(path, text);
        if (!error.empty()) {
            host.messageBox("Your score could not be saved to " + path + ": " + error);
        }
    }

    // Display pass: what the file holds now.
    Picbuf.text.fontSize = kTableFontSize;
    const auto text = readFile(path);
    if (!text) return;
    auto records = parseRecords(*text);
    if (records.size() > kWritten) records.resize(kWritten);
    int rankNo = 0;
    for (const Record& record : records) {
        ++rankNo;
        const std::string scoreField = " " + fixedText(record.scoreText, 4);
        Picbuf.print(" " + runtime::str(rankNo) + ". " + fixedText(record.initials, 3) + " " + scoreField);
        Picbuf.print("");
    }
}

}  // namespace bopatron::scores
