// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/verify.h"

#include "server/parts.h"

#include <algorithm>
#include <cstdio>

namespace bopatron::server {

namespace {

Refusal refusal(std::string code, std::string message) { return {std::move(code), std::move(message)}; }

std::string seconds(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(ms) / 1000.0);
    return text;
}

}  // namespace

std::optional<Refusal> seedRule(const std::string& text, std::uint64_t issued) {
    const std::size_t first = text.find('\n');
    const std::size_t second = first == std::string::npos ? first : text.find('\n', first + 1);
    if (second == std::string::npos || text.compare(first + 1, second - first - 1, "seed " + std::to_string(issued)) != 0)
        return refusal("seed", "the demo's seed is not the one this table issued for the session");
    return std::nullopt;
}

std::optional<Refusal> valueRule(const std::vector<world::Round>& ended, const world::Round& round,
                                 const std::vector<IssuedValue>& issued, std::int64_t& issuedMs) {
    if (round.valueLine < 0)
        return refusal("no-value", "round " + std::to_string(round.number) +
                                       " was played without a value from the table, so its rats could be known in advance");
    const auto found = std::find_if(issued.begin(), issued.end(), [&](const IssuedValue& v) { return v.value == round.value; });
    if (found == issued.end())
        return refusal("value", "round " + std::to_string(round.number) + "'s value is not one this table issued for the session");
    for (const world::Round& earlier : ended) {
        if (earlier.number >= round.number) break;
        if (earlier.valueLine >= 0 && earlier.value == round.value)
            return refusal("value", "round " + std::to_string(round.number) + "'s value was used by round " +
                                        std::to_string(earlier.number) + " already");
    }
    issuedMs = found->issuedMs;
    return std::nullopt;
}

std::optional<Refusal> valuesRule(const SessionLog& log, const world::Round& round) {
    const auto batchOf = [&](long line) {
        return std::upper_bound(log.batches.begin(), log.batches.end(), line, [](long l, const Batch& b) { return l < b.first; }) -
               log.batches.begin();
    };
    const IssuedValue* value = nullptr;  // the attempt's, once its line came
    std::vector<long> tickLines;         // the attempt's ticks, by line
    bool attempt = false;
    int number = 1, nextPart = 2;        // the round the attempt would be; the part it may take next
    long at = 0;
    for (std::size_t from = 0, end; at <= round.endLine && (end = log.text.find('\n', from)) != std::string::npos; from = end + 1, ++at) {
        const std::string_view line = std::string_view(log.text).substr(from, end - from);
        if (line == "click") {
            attempt = true;
            value = nullptr;
            tickLines.clear();
            nextPart = 2;
        } else if (line == "tick" && attempt) {
            // The claimed round's every second starts on the table's part for it: a round
            // played without one was played off the table (older rounds, with no secret, have none).
            const long ticks = static_cast<long>(tickLines.size());
            if (at >= round.firstTickLine && value != nullptr && !value->secret.empty() && ticks > 0 &&
                ticks % kTicksAPart == 0 && nextPart <= ticks / kTicksAPart + 1)
                return refusal("value", "round " + std::to_string(number) + "'s part " + std::to_string(ticks / kTicksAPart + 1) +
                                            " is missing: the round went on without the table's randomness for its ticks " +
                                            std::to_string(ticks + 1) + " to " + std::to_string(ticks + kTicksAPart));
            tickLines.push_back(at);
            if (tickLines.size() == static_cast<std::size_t>(game::kRoundTicks)) attempt = false, ++number;
        } else if (line.substr(0, 6) == "value ") {
            const std::string which = "round " + std::to_string(number);
            const long ticks = static_cast<long>(tickLines.size());
            if (attempt && ticks == 0 && value == nullptr) {
                const auto found = std::find_if(log.values.begin(), log.values.end(),
                                                [&](const IssuedValue& v) { return line.substr(6) == std::to_string(v.value); });
                if (found == log.values.end())
                    return refusal("value", which + "'s value (line " + std::to_string(at) + ") is not one this table issued");
                value = &*found;
                continue;
            }
            const int part = static_cast<int>(ticks / kTicksAPart) + 1;
            if (!attempt || value == nullptr || value->secret.empty() || ticks % kTicksAPart != 0 || part < nextPart || part > kRoundParts)
                return refusal("value", which + " holds a value line (line " + std::to_string(at) +
                                            ") where none of the table's belongs: a part stands right before the first tick of its second");
            if (line.substr(6) != std::to_string(roundPart(value->secret, part)))
                return refusal("value", which + "'s part " + std::to_string(part) + " is not the table's");
            if (part > kPartsAhead && batchOf(at) <= batchOf(tickLines[(part - kPartsAhead) * kTicksAPart - 1]))
                return refusal("value", which + "'s part " + std::to_string(part) + " came before the table gave it");
            nextPart = part + 1;
        }
    }
    return std::nullopt;
}

std::optional<Refusal> replacedRule(const world::Round& round, const std::vector<IssuedValue>& issued,
                                    const std::vector<Batch>& batches, std::int64_t issuedMs) {
    std::int64_t firstTickMs = 0;  // when the table first held a tick of the round
    for (const Batch& b : batches)
        if (round.firstTickLine >= b.first && round.firstTickLine < b.first + b.count) firstTickMs = b.arrivedMs;
    for (const IssuedValue& v : issued)
        if (v.value != round.value && v.issuedMs >= issuedMs && v.issuedMs < firstTickMs)
            return refusal("value", "round " + std::to_string(round.number) +
                                        "'s value was replaced by a later one before any of its ticks arrived: a game asks "
                                        "one value a round, as it starts, and plays on the last it was given");
    return std::nullopt;
}

std::optional<Refusal> paceRule(const world::Round& round, const std::vector<Batch>& batches, std::int64_t issuedMs) {
    for (const Batch& b : batches) {
        if (b.first > round.endLine) break;
        const long upTo = b.first + b.count;
        if (upTo <= round.valueLine) continue;  // nothing of the round yet
        const std::int64_t elapsed = b.arrivedMs - issuedMs;
        const long ticks = static_cast<long>(
            std::lower_bound(round.tickLines.begin(), round.tickLines.end(), upTo) - round.tickLines.begin());
        const std::string when = std::to_string(ticks) + " of its ticks had arrived " + seconds(elapsed) +
                                 " s after the table issued its value";
        if (elapsed < 0 || ticks > elapsed / kTickMs + kAheadTicks)
            return refusal("too-fast", "the round ran ahead of the game's clock: " + when + ", when 20 ms a tick makes " +
                                           std::to_string(std::max<std::int64_t>(0, elapsed / kTickMs)));
        const std::int64_t behind = elapsed - ticks * kTickMs;
        if (behind > kBehindMs)
            return refusal("too-slow", "the round came " + seconds(behind) + " s behind the game's clock (" +
                                           seconds(kBehindMs) + " s are allowed): " + when +
                                           "; a round is sent as it is played, and a game slowed or paused is not placed");
    }
    return std::nullopt;
}

std::optional<Refusal> sessionPaceRule(const world::Round& round, std::int64_t createdMs, std::int64_t issuedMs) {
    const std::int64_t elapsed = issuedMs - createdMs;
    if (round.ticksBefore <= std::max<std::int64_t>(0, elapsed) / kTickMs + kAheadTicks) return std::nullopt;
    return refusal("too-fast", "the session ran ahead of the game's clock before round " + std::to_string(round.number) +
                                   ": " + std::to_string(round.ticksBefore) + " ticks had been played " + seconds(elapsed) +
                                   " s after it began, when 20 ms a tick makes " +
                                   std::to_string(std::max<std::int64_t>(0, elapsed / kTickMs)));
}

std::optional<ScannedRound> scanLog(const SessionLog& log, int round) {
    ScannedRound scanned;
    scanned.ended = roundsOf(log.text);
    if (round < 1 || round > static_cast<int>(scanned.ended.size()) || scanned.ended[round - 1].closeLine < 0) return std::nullopt;
    scanned.round = scanned.ended[round - 1];
    for (const Batch& b : log.batches)
        if (scanned.round.endLine >= b.first && scanned.round.endLine < b.first + b.count) scanned.endedMs = b.arrivedMs;
    return scanned;
}

std::optional<Refusal> checkLines(const SessionLog& log, const ScannedRound& scanned) {
    if (auto broken = seedRule(log.text, log.seed)) return broken;
    std::int64_t issuedMs = 0;
    if (auto broken = valueRule(scanned.ended, scanned.round, log.values, issuedMs)) return broken;
    if (auto broken = valuesRule(log, scanned.round)) return broken;
    if (auto broken = replacedRule(scanned.round, log.values, log.batches, issuedMs)) return broken;
    if (auto broken = sessionPaceRule(scanned.round, log.createdMs, issuedMs)) return broken;
    return paceRule(scanned.round, log.batches, issuedMs);
}

std::optional<Refusal> factsRule(const RoundFacts& facts, const world::Round& scanned) {
    if (facts.failed) return facts.failed;
    // The lines were timed by where they show the round: the game must agree.
    if (facts.firstTickLine != scanned.firstTickLine || facts.endLine != scanned.endLine || facts.lines != scanned.closeLine + 1)
        return refusal("differs", "played again, round " + std::to_string(scanned.number) +
                                      " does not start and end where its lines show it");
    return std::nullopt;
}

}  // namespace bopatron::server
