// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Plain files through the standard library: what a host uses for the
// high-score table unless its platform keeps data some other way.

#include <cstddef>
#include <string>
#include <string_view>

namespace bopatron::runtime {

// What reading a file found.
struct FileText {
    enum class Status { Read, Missing, Unreadable };
    Status status = Status::Missing;
    std::string text;   // when read
    std::string error;  // why an existing file could not be read
};

// Cuts a text longer than limit bytes after its last whole line within the
// limit, as a file that long is read.
void keepWholeLines(std::string& text, std::size_t limit);

// Reads at most limit bytes of a file. A file longer than that is cut after
// its last whole line within the limit. Only a file that does not exist is
// Missing; one that exists but cannot be opened or read (permissions, a
// folder in its place, a dangling link, an I/O error) is Unreadable.
FileText readFile(const std::string& path, std::size_t limit);

// Replaces the file's contents in one step: the text goes to a temporary file
// in the same folder, which then takes the file's place, so a failed write
// leaves the old file intact. Returns an error text, or "" on success.
std::string replaceFile(const std::string& path, std::string_view text);

}  // namespace bopatron::runtime
