// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "scores/score_file.h"

#include "runtime/basic.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

FileText readFile(const std::string& path, std::size_t limit) {
    const QString name = QString::fromStdString(path);
    QFile file(name);
    // Only a file that is not there at all is missing; a dangling link is left
    // alone like any other file that cannot be read.
    if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink()) return {};
    if (QFileInfo(name).isDir()) return {FileText::Status::Unreadable, {}, "it is a folder"};
    if (!file.open(QIODevice::ReadOnly)) {
        return {FileText::Status::Unreadable, {}, file.errorString().toStdString()};
    }
    std::string text(limit + 1, '\0');
    const qint64 got = file.read(text.data(), static_cast<qint64>(text.size()));
    if (got < 0) return {FileText::Status::Unreadable, {}, file.errorString().toStdString()};
    text.resize(static_cast<std::size_t>(got));
    if (text.size() > limit) {
        // Longer than the limit: keep the whole lines within it.
        text.resize(limit);
        const std::size_t lineEnd = text.find_last_of("\r\n");
        text.resize(lineEnd == std::string::npos ? 0 : lineEnd + 1);
    }
    return {FileText::Status::Read, std::move(text), {}};
}

std::string writeFileAtomically(const std::string& path, std::string_view text) {
    QSaveFile file(QString::fromStdString(path));
    // Unbuffered, so that a short write (a full disk) shows at once.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return file.errorString().toStdString();
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size) {
        const std::string error = file.errorString().toStdString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit()) return file.errorString().toStdString();
    return {};
}

}  // namespace bopatron::scores
