// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A round's randomness in parts, one a second of the round. The value the
// table issues as the round starts is its first part; part k (2 to 20) is for
// the round's ticks 50k - 49 to 50k. The table draws the later parts from a
// secret of the round's that it keeps and nobody else sees (HMAC-SHA256 of the
// part's number, keyed with the secret), and gives part k only once it holds
// the round's ticks up to 50(k - 3) from the session: parts 1 to 3 come with
// the value, and a client never holds randomness for a tick more than 150
// ticks (3 s) beyond the last tick the table holds from it.

#include "server/session_log.h"
#include "world/rounds.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bopatron::server {

using world::kRoundParts;
using world::kTicksAPart;
inline constexpr int kPartsAhead = 3;  // given before the table holds a tick of theirs

// A new round's secret: 32 random bytes, as hexadecimal digits.
std::string newRoundSecret();
// Part k (2 to kRoundParts) of the round whose secret is given.
std::uint64_t roundPart(std::string_view secret, int part);
// The parts (counting the value as the first) a round may have been given
// once the table holds ticks of it.
int partsDue(long ticks);

// Where each session's round in play stands, as this server has seen the
// session's lines: the round whose value line was written last (none after a
// "New Game" until its value line comes), and how many of its ticks the table
// holds. A batch that does not follow on from the lines this server saw last
// (another server took the ones between) reads the session again; so does
// one that shows a value this server did not issue.
class RoundsInPlay {
public:
    struct InPlay {
        IssuedValue value;
        long ticks = 0;  // the round's ticks the table holds
    };
    // This server issued the session a value just now.
    void issued(const std::string& session, const IssuedValue& value);
    // The batch of lines from `from` on was taken, and the session holds
    // `held` lines now: its round in play, if it has one. log reads the session.
    std::optional<InPlay> after(const std::string& session, long from, const std::vector<std::string_view>& lines,
                                long held, const std::function<SessionLog()>& log);

private:
    struct Seen {
        IssuedValue value;        // the round's, or the one issued last by this server
        long lines = 0;           // lines seen of the session
        bool valueShown = false;  // the round's value line was among them, since the last "New Game"
        long ticks = 0;           // the round's ticks since
        bool read = false;        // the session was read once
    };
    // Takes one line into what was seen. Without the values issued, false
    // when the line shows a value other than the one seen.
    static bool see(Seen& seen, std::string_view line, const std::vector<IssuedValue>* issued);
    std::mutex mutex_;
    std::map<std::string, Seen> seen_;
};

}  // namespace bopatron::server
