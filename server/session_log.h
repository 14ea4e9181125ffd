// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// What the table holds of one session, as storage gives it to verification:
// its seed, every line it sent with when each batch arrived, the rounds'
// values it was issued, and where its replay stopped.

#include <cstdint>
#include <string>
#include <vector>

namespace bopatron::server {

// One batch of lines as it arrived: lines first .. first + count - 1,
// counting the first line of the demo as 0.
struct Batch {
    long first = 0;
    long count = 0;
    std::int64_t arrivedMs = 0;  // the server's clock, milliseconds since 1970
};

// A round's value as the table issued it, with the secret its later parts
// are drawn from ("" for a round issued before rounds had parts).
struct IssuedValue {
    std::uint64_t value = 0;
    std::int64_t issuedMs = 0;
    std::string secret = {};
};

struct SessionLog {
    std::uint64_t seed = 0;       // the seed the server issued
    std::int64_t createdMs = 0;   // when it issued it
    std::string text;             // every line received, each ending in LF
    std::vector<Batch> batches;   // in order of their first line
    std::vector<IssuedValue> values;
    std::string replay;           // where its replay stopped (the replay state's text); "" before any
};

}  // namespace bopatron::server
