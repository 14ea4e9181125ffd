// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "runtime/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace bopatron::runtime {

namespace fs = std::filesystem;

namespace {

std::string errorText(int number) { return std::strerror(number); }

}  // namespace

FileText readFile(const std::string& path, std::size_t limit) {
    std::error_code error;
    // Only a file that is not there at all is missing; a dangling link is left
    // alone like any other file that cannot be read.
    const fs::file_status link = fs::symlink_status(path, error);
    if (link.type() == fs::file_type::not_found) return {};
    if (fs::is_directory(fs::status(path, error))) return {FileText::Status::Unreadable, {}, "it is a folder"};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return {FileText::Status::Unreadable, {}, errorText(errno)};
    // In pieces, as far as one byte past the limit: a buffer the size of the
    // limit would be filled (and held) for every small file.
    std::string text;
    char piece[65536];
    std::size_t got = 0;
    while (text.size() <= limit && (got = std::fread(piece, 1, std::min(sizeof piece, limit + 1 - text.size()), file)) > 0)
        text.append(piece, got);
    const bool failed = std::ferror(file) != 0;
    const int number = errno;
    std::fclose(file);
    if (failed) return {FileText::Status::Unreadable, {}, errorText(number)};
    keepWholeLines(text, limit);
    return {FileText::Status::Read, std::move(text), {}};
}

void keepWholeLines(std::string& text, std::size_t limit) {
    if (text.size() <= limit) return;
    text.resize(limit);
    const std::size_t lineEnd = text.find_last_of("\r\n");
    text.resize(lineEnd == std::string::npos ? 0 : lineEnd + 1);
}

std::string replaceFile(const std::string& path, std::string_view text) {
    const std::string temporary = path + ".new";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return errorText(errno);
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int number = errno;
    if (std::fclose(file) != 0 || !written) {
        const int closing = errno;
        std::remove(temporary.c_str());
        return errorText(written ? closing : number);
    }
    std::error_code error;
    fs::rename(temporary, path, error);
    if (error) {
        std::remove(temporary.c_str());
        return error.message();
    }
    return {};
}

}  // namespace bopatron::runtime
