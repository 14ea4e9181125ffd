// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/limits.h"

#include <algorithm>

namespace bopatron::server {

bool MemoryLimits::take(const std::string& key, int burst, std::int64_t refillMs, std::int64_t now) {
    const std::lock_guard lock(bucketsMutex_);
    if (buckets_.size() > 100000) buckets_.clear();
    Bucket& b = buckets_[key];
    if (b.tokens < 0) b = {static_cast<double>(burst), now};
    b.tokens = std::min<double>(burst, b.tokens + static_cast<double>(std::max<std::int64_t>(0, now - b.atMs)) /
                                                      static_cast<double>(refillMs));
    b.atMs = now;
    if (b.tokens < 1) return false;
    b.tokens -= 1;
    return true;
}

bool MemoryLimits::startRound(const std::string& address, const std::string& session, int most, std::int64_t windowMs,
                              std::int64_t now) {
    const std::lock_guard lock(inPlayMutex_);
    if (inPlay_.size() > 100000) inPlay_.clear();
    std::map<std::string, std::int64_t>& rounds = inPlay_[address];
    std::erase_if(rounds, [&](const auto& r) { return now - r.second >= windowMs; });
    rounds.erase(session);  // its earlier round is ended by this one
    if (static_cast<int>(rounds.size()) >= most) return false;
    rounds[session] = now;
    return true;
}

void MemoryLimits::roundClaimed(const std::string& address, const std::string& session) {
    const std::lock_guard lock(inPlayMutex_);
    const auto found = inPlay_.find(address);
    if (found == inPlay_.end()) return;
    found->second.erase(session);
    if (found->second.empty()) inPlay_.erase(found);
}

}  // namespace bopatron::server
