// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "world/client.h"

#include <algorithm>
#include <charconv>

namespace bopatron::world {

namespace {

std::string ordinal(long long n) {
    const long long tens = n % 100, ones = n % 10;
    const char* suffix = (tens >= 11 && tens <= 13) ? "th" : ones == 1 ? "st" : ones == 2 ? "nd" : ones == 3 ? "rd" : "th";
    return std::to_string(n) + suffix;
}

std::optional<std::uint64_t> decimal(const Json& value) {
    const std::string& text = value.text();
    std::uint64_t out = 0;
    if (!value.isString() || text.empty() || text.size() > 20) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return out;
}

bool isSessionId(const std::string& id) {
    return id.size() == 32 && std::all_of(id.begin(), id.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// The table's own sentence for a refusal, or what its status says.
std::string reason(const Answer& answer, const Json& json) {
    if (answer.status == 0) return "no answer";
    if (json["message"].isString() && !json["message"].text().empty()) return json["message"].text();
    return "it answered " + std::to_string(answer.status);
}

}  // namespace

std::string Notice::line() const {
    const std::string which = "round " + std::to_string(round);
    switch (kind) {
        case Kind::On: return "world table on";
        case Kind::Off: return "world table off: " + text;
        case Kind::Verdict: return "world: " + which + ": " + text;
        case Kind::Unsent: return "world: " + (round > 0 ? which + " unsent: " : std::string()) + text;
        case Kind::OffTable: return "world: " + which + " is off the table: " + text;
    }
    return text;
}

std::string verdictText(const Json& v) {
    if (v["placed"].boolean()) {
        std::string places;
        const Json& ranks = v["ranks"];
        if (const auto today = ranks["today"].integer()) places = ordinal(*today) + " today";
        if (const auto all = ranks["all"].integer()) places += (places.empty() ? "" : ", ") + ordinal(*all) + " of all time";
        return places;
    }
    if (v["held"].boolean()) return "held for review: " + v["message"].text();
    if (v["refused"].isString()) return "not placed: " + v["message"].text();
    return "not in the top 5";
}

Request Client::sessionRequest() {
    Request r;
    r.path = "sessions";
    r.contentType = "application/json";
    r.timeoutMs = kSessionWaitMs;
    return r;
}

std::optional<std::uint64_t> Client::sessionAnswered(const Answer& answer, const std::string& where) {
    const Json json = Json::parse(answer.body);
    const auto seed = decimal(json["seed"]);
    if (answer.status != 200 || !seed || !isSessionId(json["session"].text())) {
        off_ = true;
        notify({Notice::Kind::Off, 0,
                answer.status == 0 ? where + " did not answer" : where + " gave no session: " + reason(answer, json)});
        return std::nullopt;
    }
    session_ = json["session"].text();
    notify({Notice::Kind::On, 0, {}});
    return seed;
}

void Client::stop(const std::string& why) {
    off_ = true;
    notify({Notice::Kind::Off, 0, why});
}

void Client::add(const std::string& line) {
    if (!on()) return;
    lines_.push_back(line);
    // The game's own "Top 5" box was answered or cancelled, inside the last tick of the round
    // that just ended: the table keeps what it was given (XXX when cancelled), for good.
    if ((line.rfind("answer ", 0) == 0 || line.rfind("cancel", 0) == 0) && previousLine_.rfind("table ", 0) == 0)
        typedInGame_.push_back(roundsEnded());
    previousLine_ = line;
    switch (rounds_.add(std::string_view(line).substr(0, line.size() - (line.empty() ? 0 : 1)))) {
        case RoundTracker::Step::Click:
            inPlay_ = {};
            std::erase(offTable_, roundsEnded() + 1);  // a new attempt at the round
            break;
        case RoundTracker::Step::Value: {
            // The round's value is written: the parts the ask gave with it belong to it.
            inPlay_.value = rounds_.current()->value;
            inPlay_.parts[0] = inPlay_.value;
            inPlay_.offered = askedParts_[0] && askedParts_[1];
            for (int k = 2; k <= 3; ++k) inPlay_.parts[k - 1] = askedParts_[k - 2];
            break;
        }
        case RoundTracker::Step::FirstTick:
        case RoundTracker::Step::LastTick: urgent_ = true; break;
        case RoundTracker::Step::Tick:
            // At each second's end, the ticks that let the table give the part three seconds on go at once.
            if (roundTicks() % kTicksAPart == 0 && inPlay_.offered) urgent_ = true;
            break;
        case RoundTracker::Step::Close: {
            // Only a round played on the table's value can place; one without was said to be off.
            const Round& round = rounds_.ended().back();
            if (round.valueLine >= 0 && std::find(offTable_.begin(), offTable_.end(), round.number) == offTable_.end())
                claims_.push_back({round.number, tableScore_});
            urgent_ = true;
            break;
        }
        default: break;
    }
}

long Client::roundTicks() const {
    const Round* round = rounds_.current();
    return round ? static_cast<long>(round->tickLines.size()) : 0;
}

std::optional<std::uint64_t> Client::partBeforeTick() {
    const long ticks = roundTicks();
    if (!on() || !inPlay_.value || !inPlay_.offered || ticks == 0 || ticks % kTicksAPart != 0) return std::nullopt;
    const int part = static_cast<int>(ticks / kTicksAPart) + 1;
    if (part > kRoundParts || part <= inPlay_.mixed) return std::nullopt;
    inPlay_.mixed = part;
    if (const auto held = inPlay_.parts[part - 1]) return held;
    notify({Notice::Kind::OffTable, roundsEnded() + 1,
            "its rats came late: part " + std::to_string(part) + " of its randomness had not come when its second began"});
    offTable_.push_back(roundsEnded() + 1);
    inPlay_.offered = false;  // the round plays on the game's own generator, and asks for no more
    return std::nullopt;
}

int Client::firstPartLacking() const {
    if (!inPlay_.value || !inPlay_.offered) return 0;
    for (int k = 2; k <= kRoundParts; ++k)
        if (!inPlay_.parts[k - 1]) return k;
    return 0;
}

void Client::takeParts(const Json& parts) {
    // Parts of the round whose value line the table saw last: this round's, or none for it.
    if (!inPlay_.value || decimal(parts["value"]) != inPlay_.value) return;
    const auto from = parts["from"].integer();
    const auto& values = parts["values"];
    if (!from || *from < 2) return;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const long long k = *from + static_cast<long long>(i);
        const auto part = decimal(values.at(i));
        if (k > kRoundParts || !part) return;
        inPlay_.parts[static_cast<std::size_t>(k - 1)] = part;
    }
}

std::optional<ValueAsk> Client::askValue() {
    if (!on()) return std::nullopt;
    ValueAsk ask{++asks_, {}};
    ask.request.path = "sessions/" + session_ + "/rounds";
    ask.request.timeoutMs = kValueWaitMs;
    waitingAsk_ = ask.ask;
    return ask;
}

RoundValue Client::valueAnswered(int ask, const Answer& answer) {
    if (ask != waitingAsk_) return {true, std::nullopt};
    waitingAsk_ = 0;
    if (!on()) return {};
    const Json json = Json::parse(answer.body);
    askedParts_[0] = askedParts_[1] = std::nullopt;
    if (answer.status == 200)
        if (const auto value = decimal(json["value"])) {
            // A table that gives parts gives the second and third with the value.
            for (std::size_t i = 0; i < 2; ++i) askedParts_[i] = decimal(json["parts"].at(i));
            return {false, value};
        }
    const std::string why = answer.status == 0 ? "the table did not answer within 2 s" : reason(answer, json);
    notify({Notice::Kind::OffTable, roundsEnded() + 1, why});
    if (answer.status == 404) stop(reason(answer, json));
    return {};
}

std::optional<long long> Client::initialsToAsk() {
    if (toAsk_.empty()) return std::nullopt;
    const long long record = toAsk_.front();
    toAsk_.pop_front();
    return record;
}

Request Client::initialsRequest(long long record, const std::string& typed) const {
    Request r;
    r.path = "records/" + std::to_string(record) + "/initials";
    r.body = R"({"initials": )" + jsonString(typed) + "}";
    r.contentType = "application/json";
    return r;
}

std::string Client::initialsAnswered(const Answer& answer) {
    if (answer.status == 200) return "";
    if (answer.status == 0) return "Your initials were not kept: the world table did not answer.";
    return "Your initials were not kept: " + reason(answer, Json::parse(answer.body)) + ".";
}

std::optional<Request> Client::due(std::int64_t nowMs) {
    if (!on() || inFlight_ || !waiting() || nowMs < retryAtMs_) return std::nullopt;
    if (!urgent_ && lastSentMs_ >= 0 && nowMs - lastSentMs_ < kBatchMs) return std::nullopt;
    sending_ = {acked_, static_cast<long>(lines_.size()), std::nullopt};
    Request r;
    r.path = "sessions/" + session_ + "/lines?from=" + std::to_string(acked_);
    // A claim is queued once its round's close is written, so this batch holds it.
    if (!claims_.empty()) {
        sending_.claim = claims_.front();
        r.path += "&round=" + std::to_string(sending_.claim->round) + "&score=" + std::to_string(sending_.claim->score);
    }
    // The round's parts it lacks, from the first: the answer holds those the table may give now.
    if (const int part = firstPartLacking()) r.path += "&part=" + std::to_string(part);
    for (std::size_t i = static_cast<std::size_t>(acked_); i < lines_.size(); ++i) r.body += lines_[i];
    inFlight_ = true;
    urgent_ = false;
    lastSentMs_ = nowMs;
    return r;
}

void Client::answered(const Answer& answer, std::int64_t nowMs) {
    if (!inFlight_) return;
    inFlight_ = false;
    if (!on()) return;
    const Json json = Json::parse(answer.body);
    const long size = static_cast<long>(lines_.size());
    if (answer.status == 200) {
        if (backoffMs_ > kBatchMs) notify({Notice::Kind::On, 0, {}});
        backoffMs_ = kBatchMs;
        retryAtMs_ = 0;
        acked_ = std::clamp<long>(static_cast<long>(json["lines"].integer().value_or(sending_.upTo)), acked_, size);
        takeParts(json["parts"]);
        if (sending_.claim && !claims_.empty() && claims_.front().round == sending_.claim->round) {
            claims_.pop_front();
            Notice verdict{Notice::Kind::Verdict, sending_.claim->round, verdictText(json)};
            verdict.placed = json["placed"].boolean();
            verdict.record = json["record"].integer().value_or(0);
            if (verdict.placed && verdict.record > 0 &&
                std::find(typedInGame_.begin(), typedInGame_.end(), verdict.round) == typedInGame_.end())
                toAsk_.push_back(verdict.record);
            notify(verdict);
        }
        if (acked_ < size && !claims_.empty()) urgent_ = true;
        return;
    }
    if (answer.status == 409 && json["expected"].integer()) {
        // The table holds fewer lines than were sent: send from the one it expects, at once.
        acked_ = std::clamp<long>(static_cast<long>(*json["expected"].integer()), 0, size);
        urgent_ = true;
        return;
    }
    if (answer.status == 400 || answer.status == 404 || answer.status == 413) {
        stop(reason(answer, json));  // the table will not take this session
        return;
    }
    // Unreachable, busy (429, 503) or failing: the same lines again later.
    retryAtMs_ = nowMs + backoffMs_;
    const int round = sending_.claim ? sending_.claim->round : 0;
    notify({Notice::Kind::Unsent, round,
            "the table cannot be reached (" + reason(answer, json) + "); trying again in " +
                std::to_string(backoffMs_ / 1000) + " s"});
    backoffMs_ = std::min(backoffMs_ * 2, kMostBackoffMs);
}

std::vector<Notice> Client::takeNotices() {
    std::vector<Notice> out;
    out.swap(notices_);
    return out;
}

}  // namespace bopatron::world
