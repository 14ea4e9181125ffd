// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The high-score table against any file and any typed initials.
//
// Input: two bytes of score (little-endian), one byte giving the length of
// the initials (its low three bits), the initials, then the file's bytes.
// Checks, besides the sanitizers: the table is rewritten exactly when the
// score beats one of its first five records; the rewritten file is the five
// records the ranking gives, byte for byte; and it reads back as written.
// The model reads the file with a parser of its own.

#include "draw/surface.h"
#include "runtime/basic.h"
#include "scores/printscore.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace bopatron;

class TableHost : public runtime::Host {
public:
    explicit TableHost(std::string folder) : folder_(std::move(folder)) {}
    void setClockEnabled(bool) override {}
    void setPointer(std::int16_t) override {}
    std::string inputBox(const std::string&, const std::optional<std::string>&) override { return ++boxes, answer; }
    void randomize() override {}
    double rnd() override { return 0.0; }
    std::string programFolder() override { return folder_; }
    void playSoundAsync(const std::string&) override {}
    void messageBox(const std::string& text) override { message = text; }
    std::string answer, message;
    int boxes = 0;

private:
    std::string folder_;
};

void check(bool condition, const std::string& message) {
    if (condition) return;
    std::fprintf(stderr, "fuzz: %s\n", message.c_str());
    std::abort();
}

struct Row {
    std::string initials, score;  // the fields as text
};

// The records of a table: lines end at CR LF, LF or CR; blank lines are
// skipped; a field runs to a comma, a quoted one to its closing quote, and an
// unquoted one loses its blanks at both ends.
std::vector<Row> model(std::string text, std::size_t most) {
    std::replace(text.begin(), text.end(), '\r', '\n');  // a blank line between CR and LF is skipped like any other
    std::istringstream lines(text);
    std::vector<Row> rows;
    for (std::string line; rows.size() < most && std::getline(lines, line);) {
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        std::string fields[2];
        for (std::size_t i = 0, n = 0; n < 2 && i <= line.size(); ++n) {
            i = std::min(line.find_first_not_of(" \t", i), line.size());
            std::size_t end = line.find(',', i);
            if (i < line.size() && line[i] == '"') {
                const std::size_t close = std::min(line.find('"', i + 1), line.size());
                fields[n] = line.substr(i + 1, close - i - 1);
                end = line.find(',', std::min(close + 1, line.size()));
            } else {
                fields[n] = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
                fields[n].erase(fields[n].find_last_not_of(" \t") + 1);
            }
            i = end == std::string::npos ? line.size() + 1 : end + 1;
        }
        rows.push_back({fields[0], fields[1]});
    }
    return rows;
}

// Three characters as a record stores them: a quote as an apostrophe, a line end as a space.
std::string stored(std::string text) {
    text = (text + "   ").substr(0, 3);
    for (char& c : text) {
        if (c == '"') c = '\'';
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

// A stored score text as the ranking reads it: its first four characters' numeric prefix, 0 out of range.
double valueOf(const std::string& score) {
    const double v = runtime::val((score + "    ").substr(0, 4));
    return v > -32768.5 && v < 32767.5 ? v : 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // One scratch folder for the whole run, left in the temporary folder's care.
    static const std::string scratch = [] {
        std::string name = "/tmp/bopatron-fuzz-XXXXXX";
        return std::string(::mkdtemp(name.data()) ? name : "/tmp");
    }();
    const auto score = static_cast<std::int16_t>(data[0] | (data[1] << 8));
    const std::size_t length = std::min<std::size_t>(data[2] & 7u, size - 3);
    TableHost host(scratch);
    // Typed initials in ASCII: the unit tests hold the other characters.
    for (std::size_t i = 0; i < length; ++i) host.answer += static_cast<char>(data[3 + i] & 0x7f);
    const std::string file(reinterpret_cast<const char*>(data + 3 + length), size - 3 - length);
    const std::string path = scores::scoresPath(host);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << file;
    static draw::Surface Picbuf(437, 284, 0xffffffff);
    Picbuf.text.currentY = 0;
    scores::printscore(host, Picbuf, score);
    std::ifstream in(path, std::ios::binary);
    const std::string after{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    check(host.message.empty(), "a message box: " + host.message);

    // The ranking, on the whole lines within the first 4 KiB.
    std::vector<Row> rows = model(file.size() <= 4096 ? file : file.substr(0, file.find_last_of("\r\n", 4095) + 1), 6);
    std::size_t place = 0;
    while (place < rows.size() && place < 5 && !(valueOf(rows[place].score) < score)) ++place;
    if (place == rows.size() || place == 5) {
        check(host.boxes == 0 && after == file, "the table was changed or initials asked for, with no place won");
        return 0;
    }
    check(host.boxes == 1, "asked for initials " + std::to_string(host.boxes) + " times");
    const std::string& typed = host.answer;
    for (Row& row : rows) row.score = runtime::str(runtime::toInteger(valueOf(row.score)));
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(place), Row{typed.empty() ? "XXX" : typed, runtime::str(score)});
    rows.resize(5, Row{"", "0"});
    std::string text;
    for (Row& row : rows) text += "\"" + (row.initials = stored(row.initials)) + "\"," + row.score + "\r\n";
    check(after == text, "the rewritten table is not the ranking:\n" + after + "\nexpected:\n" + text);
    const std::vector<Row> again = model(after, 99);
    for (std::size_t i = 0; i < 5; ++i)
        check(again.size() == 5 && again[i].initials == rows[i].initials && again[i].score == rows[i].score,
              "record " + std::to_string(i + 1) + " does not read back as written");
    return 0;
}
