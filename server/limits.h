// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The table's limits on one client: token buckets (new sessions per address,
// claims per session) and the rounds in play per address. Each decision is one
// call; where the limits are kept decides how far they hold: in this process's
// memory (one server), or in the database every server of the table shares,
// where a restart forgets nothing.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace bopatron::server {

class Limits {
public:
    virtual ~Limits() = default;
    // Takes a token of the bucket named key, which holds `burst` at most and gains one every
    // refillMs (a new bucket starts full); false when none is left, and none is taken.
    virtual bool take(const std::string& key, int burst, std::int64_t refillMs, std::int64_t now) = 0;
    // A round of the session starts from the address, ending the session's earlier one: false
    // when `most` rounds of other sessions are in play there (started within windowMs, not claimed).
    virtual bool startRound(const std::string& address, const std::string& session, int most, std::int64_t windowMs,
                            std::int64_t now) = 0;
    // The session's round from the address was decided: its place is free.
    virtual void roundClaimed(const std::string& address, const std::string& session) = 0;
};

// The limits in this process's memory: a flood of keys past 100 000 forgets them all
// rather than grow.
class MemoryLimits : public Limits {
public:
    bool take(const std::string& key, int burst, std::int64_t refillMs, std::int64_t now) override;
    bool startRound(const std::string& address, const std::string& session, int most, std::int64_t windowMs,
                    std::int64_t now) override;
    void roundClaimed(const std::string& address, const std::string& session) override;

private:
    struct Bucket {
        double tokens = -1;  // a new bucket starts full
        std::int64_t atMs = 0;
    };
    std::mutex bucketsMutex_;
    std::map<std::string, Bucket> buckets_;
    std::mutex inPlayMutex_;
    std::map<std::string, std::map<std::string, std::int64_t>> inPlay_;  // address → session → started
};

}  // namespace bopatron::server
