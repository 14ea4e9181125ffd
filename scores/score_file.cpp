// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "scores/score_file.h"

#include "runtime/basic.h"

#include <cmath>

namespace bopatron::scores {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Splits one line into its fields.
std::vector<std::string> splitFields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t i = 0;
    while (i <= line.size()) {
        while (i < line.size() && isBlank(line[i])) ++i;
        std::string field;
        if (i < line.size() && line[i] == '"') {
            const std::size_t close = line.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? line.size() : close;
            field = std::string(line.substr(i + 1, end - i - 1));
            i = end + 1;
            // Anything between the closing quote and the separator is dropped.
            const std::size_t comma = line.find(',', std::min(i, line.size()));
            i = comma == std::string_view::npos ? line.size() + 1 : comma + 1;
        } else {
            const std::size_t comma = line.find(',', std::min(i, line.size()));
            const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
            field = std::string(trim(line.substr(std::min(i, line.size()), end - std::min(i, line.size()))));
            i = end + 1;
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

}  // namespace

std::vector<Record> parseRecords(std::string_view text, std::size_t most) {
    std::vector<Record> records;
    std::size_t start = 0;
    while (start < text.size() && records.size() < most) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        // CR LF, a lone LF and a lone CR all end a line.
        start = end;
        if (start < text.size() && text[start] == '\r') ++start;
        if (start < text.size() && text[start] == '\n') ++start;
        if (trim(line).empty()) continue;
        auto fields = splitFields(line);
        Record record;
        record.initials = fields.empty() ? std::string() : fields[0];
        if (fields.size() > 1) record.scoreText = fields[1];
        records.push_back(std::move(record));
    }
    return records;
}

double scoreValue(std::string_view scoreText) {
    const double value = runtime::val(scoreText);
    if (!std::isfinite(value) || std::nearbyint(value) < -32768.0 || std::nearbyint(value) > 32767.0) {
        return 0.0;
    }
    return value;
}

std::string formatRecord(std::string_view initials, std::int16_t score) {
    std::string field(initials);
    for (char& c : field) {
        if (c == '"') c = '\'';
        if (c == '\r' || c == '\n') c = ' ';
    }
    return "\"" + field + "\"," + runtime::str(score) + "\r\n";
}

std::string initialScoresText() {
    return formatRecord("BOP", 500) + formatRecord("RAT", 400) + formatRecord("ZAP", 300) +
           formatRecord("NIB", 200) + formatRecord("SQK", 100);
}

}  // namespace bopatron::scores
