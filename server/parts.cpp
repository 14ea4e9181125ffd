// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/parts.h"

#include "server/text.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <stdexcept>

namespace bopatron::server {

std::string newRoundSecret() { return hex(randomBytes(32)); }

std::uint64_t roundPart(std::string_view secret, int part) {
    const std::string message = "bopatron round part " + std::to_string(part);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (HMAC(EVP_sha256(), secret.data(), static_cast<int>(secret.size()), reinterpret_cast<const unsigned char*>(message.data()),
             message.size(), digest, &size) == nullptr || size < 8)
        throw std::runtime_error("HMAC-SHA256 failed");
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = value << 8 | digest[i];
    return value;
}

void RoundsInPlay::issued(const std::string& session, const IssuedValue& value) {
    std::lock_guard lock(mutex_);
    if (seen_.size() > 100000) seen_.clear();
    Seen& seen = seen_[session];
    seen.value = value;  // its line comes next
    seen.valueShown = false;
    seen.ticks = 0;
}

bool RoundsInPlay::see(Seen& seen, std::string_view line, const std::vector<IssuedValue>* issued) {
    ++seen.lines;
    if (line.substr(0, 6) == "value ") {
        if (seen.valueShown && seen.ticks > 0) return true;  // a later part of the round in play
        // The round in play is the one whose value line was written last.
        const auto same = [&](const IssuedValue& v) { return line.substr(6) == std::to_string(v.value); };
        if (!same(seen.value)) {
            if (issued == nullptr) return false;  // a value this server did not see issued
            const auto found = std::find_if(issued->begin(), issued->end(), same);
            if (found == issued->end()) {
                seen.valueShown = false;  // no value of the table's: no round of its in play
                return true;
            }
            seen.value = *found;
        }
        seen.valueShown = true;
        seen.ticks = 0;
    } else if (line == "tick" && seen.valueShown) {
        ++seen.ticks;
    } else if (line == "click") {
        seen.valueShown = false;  // a new round, whose value is asked next
        seen.ticks = 0;
    }
    return true;
}

std::optional<RoundsInPlay::InPlay> RoundsInPlay::after(const std::string& session, long from,
                                                        const std::vector<std::string_view>& lines, long held,
                                                        const std::function<SessionLog()>& log) {
    const auto inPlay = [](const Seen& seen) { return seen.valueShown ? std::optional(InPlay{seen.value, seen.ticks}) : std::nullopt; };
    IssuedValue latest;
    {
        std::lock_guard lock(mutex_);
        if (seen_.size() > 100000) seen_.clear();  // a flood of sessions forgets them all rather than grow
        Seen& seen = seen_[session];
        bool whole = seen.read && seen.lines == from;
        for (std::size_t i = 0; whole && i < lines.size(); ++i) whole = see(seen, lines[i], nullptr);
        if (whole && seen.lines == held) return inPlay(seen);
        latest = seen.value;
    }
    // Read again, outside the lock: every line since the session began, against every value it was issued.
    const SessionLog read = log();
    Seen again;
    again.value = latest;
    again.read = true;
    for (std::size_t at = 0, end; (end = read.text.find('\n', at)) != std::string::npos; at = end + 1)
        see(again, std::string_view(read.text).substr(at, end - at), &read.values);
    std::lock_guard lock(mutex_);
    seen_[session] = again;
    return inPlay(again);
}

int partsDue(long ticks) { return static_cast<int>(std::clamp<long>(kPartsAhead + std::max(0L, ticks) / kTicksAPart, kPartsAhead, kRoundParts)); }

}  // namespace bopatron::server
