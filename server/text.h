// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Small pieces of text and randomness the table's answers are made of.

#include <cstdint>
#include <string>
#include <string_view>

namespace bopatron::server {

// An ISO 8601 time in UTC, to the second: 2026-12-08T06:05:26Z.
std::string isoTime(std::int64_t ms);
// Latin-1 text as UTF-8.
std::string utf8FromLatin1(std::string_view latin);
// Bytes as lowercase hexadecimal digits.
std::string hex(std::string_view bytes);
// Random bits from the operating system, as many bytes as asked.
std::string randomBytes(std::size_t count);
// 64 of them as a number.
std::uint64_t randomNumber();

}  // namespace bopatron::server
