// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "scores/printscore.h"

#include "runtime/basic.h"
#include "scores/score_file.h"
#include "sound/cues.h"

#include <optional>
#include <vector>

namespace bopatron::scores {

using runtime::FileText;
using runtime::fixedText;
using runtime::toInteger;

namespace {

constexpr std::size_t kRows = 6;     // the working table's rows; row 6 is never written
constexpr std::size_t kWritten = 5;  // records written back

// One row of the working table.
struct Row {
    std::string topInitials = std::string(3, ' ');  // unfilled rows are written blank
    std::int16_t topScores = 0;
    double value = 0;  // the score text's numeric value, which the ranking compares
};

// The typed text (UTF-8) as the file's one-byte characters (Latin-1): a
// character Latin-1 lacks becomes a question mark, one for each 16-bit unit
// it takes, and so does each byte that is not part of a UTF-8 character.
std::string initialsFromAnswer(const std::string& answer) {
    std::string latin;
    const auto byte = [&answer](std::size_t i) { return static_cast<unsigned char>(answer[i]); };
    for (std::size_t i = 0; i < answer.size();) {
        const unsigned lead = byte(i);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xc2 ? 0 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : lead < 0xf5 ? 4 : 0;
        unsigned code = length <= 1 ? lead : lead & (0x7fu >> length);
        std::size_t k = 1;
        for (; k < length && i + k < answer.size() && (byte(i + k) & 0xc0u) == 0x80; ++k)
            code = (code << 6) | (byte(i + k) & 0x3fu);
        if (length == 0 || k < length) {
            latin += '?';  // not UTF-8: this byte alone
            ++i;
            continue;
        }
        if (code <= 0xff) {
            latin += static_cast<char>(code);
        } else {
            latin += code > 0xffff ? "??" : "?";
        }
        i += length;
    }
    return latin;
}

// Rows 1 to 6 of the working table: each record's initials cut to three
// characters and its score text to four.
std::vector<Row> rowsOf(const std::string& text) {
    std::vector<Row> rows;
    for (const Record& record : parseRecords(text, kRows)) {
        const std::string fileScore = fixedText(record.scoreText, 4);
        const double value = scoreValue(fileScore);
        rows.push_back({fixedText(record.initials, 3), toInteger(value), value});
    }
    return rows;
}

// The row, 1 to 5, that the score takes: that of the first record whose score
// is strictly lower. 0 when there is none: then the score is not placed.
std::size_t placeFor(const std::vector<Row>& rows, std::int16_t score) {
    for (std::size_t i = 0; i < rows.size() && i < kWritten; ++i) {
        if (rows[i].value < score) return i + 1;
    }
    return 0;
}

// The five records written when the score takes row entryNo: the rows from
// there on move down one, and what moves below row 5 is lost.
std::string tableWith(std::vector<Row> rows, std::size_t entryNo, const std::string& initials,
                      std::int16_t score) {
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(entryNo - 1), Row{initials, score, 0});
    rows.resize(kWritten);
    std::string text;
    for (const Row& row : rows) text += formatRecord(row.topInitials, row.topScores);
    return text;
}

void sayUnreadable(runtime::Host& host, const std::string& path, const FileText& read) {
    host.messageBox("The high-score file " + path + " could not be read (" + read.error +
                    "). It was left as it is, and this round's score was not placed.");
}

// The table's rows as the file holds them now. A missing file is re-created
// from the shipped table; one that cannot be read is left alone, said, and
// gives nothing.
std::optional<std::vector<Row>> readRows(runtime::Host& host, const std::string& path) {
    const FileText read = host.readTable(path, kTableReadLimit);
    if (read.status == FileText::Status::Unreadable) {
        sayUnreadable(host, path, read);
        return std::nullopt;
    }
    if (read.status == FileText::Status::Read) return rowsOf(read.text);
    const std::string initial = initialScoresText();
    const std::string error = host.replaceTable(path, initial);
    if (!error.empty()) host.messageBox("The high-score table " + path + " could not be created: " + error);
    return rowsOf(initial);
}

// Writes the player's record into the table as it is at this moment: another
// game may have written its own since the table was first read. Under a lock
// beside the file, the table is read again and the score ranked against it;
// it is written only where it still deserves a place.
void saveScore(runtime::Host& host, const std::string& path, const std::string& initials, std::int16_t score) {
    // A lock that cannot be had (a folder that refuses it) does not cost the score.
    const bool locked = host.lockTable(path);
    const auto rows = readRows(host, path);
    if (rows) {
        const std::size_t entryNo = placeFor(*rows, score);
        if (entryNo != 0) {
            const std::string error = host.replaceTable(path, tableWith(*rows, entryNo, initials, score));
            if (!error.empty()) host.messageBox("Your score could not be saved to " + path + ": " + error);
        }
    }
    if (locked) host.unlockTable(path);
}

// The initials typed, as the working table takes them.
std::string typedInitialsOf(const std::string& answer) {
    std::string typedInitials = initialsFromAnswer(answer);
    if (typedInitials.empty()) typedInitials = kNoInitials;
    return fixedText(typedInitials, 3);
}

}  // namespace

std::string keptInitials(const std::string& answer) { return formatRecord(typedInitialsOf(answer), 0).substr(1, 3); }

std::string scoresPath(runtime::Host& host) {
    return runtime::programPath(host.scoresFolder(), kScoresFile);
}

void printscore(runtime::Host& host, draw::Surface& Picbuf, std::int16_t score) {
    Picbuf.print("");
    Picbuf.print("");
    Picbuf.print(kHeading);
    Picbuf.print("");

    // Ranking: the prompt follows the table as it is read now.
    const std::string path = scoresPath(host);
    const auto rows = readRows(host, path);
    const std::size_t entryNo = rows ? placeFor(*rows, score) : 0;
    if (entryNo != 0) {
        std::string promptText;
        if (entryNo == 1) {
            sound::playCue(host, sound::kOne);
            promptText = kFirstPrompt;
        } else {
            sound::playCue(host, sound::kBare);
            promptText = kPlacedPrompt;
        }
        saveScore(host, path, typedInitialsOf(host.inputBox(promptText, std::string(kTopTitle))), score);
    }

    // Display pass: what the file holds now.
    Picbuf.text.fontSize = kTableFontSize;
    const FileText shown = host.readTable(path, kTableReadLimit);
    if (shown.status != FileText::Status::Read) return;
    int rankNo = 0;
    for (const Record& record : parseRecords(shown.text, kWritten)) {
        ++rankNo;
        const std::string scoreField = " " + fixedText(record.scoreText, 4);
        Picbuf.print(" " + runtime::str(rankNo) + ". " + fixedText(record.initials, 3) + " " + scoreField);
        Picbuf.print("");
    }
}

}  // namespace bopatron::scores
