// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The world table's protocol, apart from any transport: a request in, a
// response out. Every input is bounded; every error is {"error", "message"}.
// docs/WORLD.md describes it for client writers.

#include "server/address.h"
#include "server/metrics.h"
#include "server/parts.h"
#include "server/store.h"
#include "server/verdict.h"

#include <nlohmann/json.hpp>

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace bopatron::server {

inline constexpr std::size_t kMostBatchBytes = 256u << 10;
inline constexpr std::int64_t kMostSessionBytes = 8 << 20;
inline constexpr int kMostRounds = 100;
inline constexpr std::int64_t kSessionIdleMs = 60 * 60 * 1000;    // a session ends after an hour without lines
inline constexpr std::int64_t kInitialsWithinMs = 10 * 60 * 1000;  // initials may follow a record this long
// New sessions per client address: a burst of 30, then one every 20 seconds.
inline constexpr int kSessionBurst = 30;
inline constexpr std::int64_t kSessionRefillMs = 20000;
// Claims per session: a burst of 10, then one every 5 seconds (a round takes 20).
inline constexpr int kClaimBurst = 10;
inline constexpr std::int64_t kClaimRefillMs = 5000;
// Round values a session may be issued: a value for each "New Game", 100 rounds and many pressed again.
inline constexpr int kMostValues = 1000;
// Rounds in play per client address (an IPv6 one by its /64): values issued in the last
// 30 s to different sessions and not yet used by a claimed round. Enough for a household;
// a client that asks many to choose the best among them is answered 429.
inline constexpr int kValuesInPlay = 4;
inline constexpr std::int64_t kValueInPlayMs = 30000;
inline constexpr int kMostListed = 100;

struct Request {
    std::string method;
    std::string target;  // path and query, as sent
    std::string body;
    std::string client;  // the peer's address: used for the session rate alone, never stored
};

struct Response {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers = {};  // more, or in place of the defaults
};

class Api {
public:
    struct Clock {
        std::function<std::int64_t()> nowMs;  // milliseconds since 1970, UTC
    };
    Api(Store& store, const Replayer& replayer, Clock clock, std::function<void(const std::string&)> log);

    // Answers every request, whatever fails while it is handled: a database that cannot
    // answer gives 503, anything else 500 with {"error": "internal"} and a line in the log.
    Response handle(const Request& request);
    // Whether a target is the protocol's (the API, health and metrics), not the static site's.
    static bool serves(const std::string& target);
    // The route of a target as metrics name it: never a session or record id.
    static std::string routeOf(const std::string& target);
    // The path of a target as the log shows it: a session's id cut to its first 8 digits,
    // since an id in a log is as good as the session itself.
    static std::string loggedPath(const std::string& target);
    // The server is stopping: /readyz and the API answer 503 from now on, so that a
    // balancer sends players to another server; what is in flight still finishes.
    void drain() { draining_ = true; }
    Metrics& metrics() { return metrics_; }
    // Replays run since the start (a claim answered from its verdict, or of a round a
    // replay has passed, costs none), and the ticks they played.
    long replays() const { return replays_; }
    long ticksReplayed() const { return ticksReplayed_; }
    // What decides claims: its replay is the core's, unless a test says otherwise.
    Judge& judge() { return judge_; }
    // Where round values come from: the operating system's generator, unless a test says otherwise.
    std::function<std::uint64_t()> newValue;
    // Where each round's secret, which its later parts are drawn from, comes from: likewise.
    std::function<std::string()> newSecret;
    // Whether answering may take a replay (a claim), which a server runs off its network threads.
    static bool mayReplay(const Request& request);

private:
    Response dispatch(const Request& request);
    Response ready();
    Response createSession(const Request& request);
    Response roundValue(const std::string& id, const Request& request);
    // Whether the limit named (as metrics name it) lets the request go on; counts a refusal.
    bool within(const char* limit, bool allowed);
    Response lines(const std::string& id, const std::map<std::string, std::string>& query, const Request& request);
    // The round in play's parts from the first-th on that the table may give now, after a batch.
    nlohmann::json partsAfter(const std::string& id, int first, long from, const std::vector<std::string_view>& lines, long held);
    // A judgement as the claim's answer, counted and logged.
    nlohmann::json answer(const Claim& claim, const Judgement& judgement);
    nlohmann::json answerFrom(const StoredVerdict& verdict);
    Response top(const std::map<std::string, std::string>& query);
    Response record(long long id, bool demo);
    Response initials(long long id, const Request& request);
    nlohmann::json ranks(long long record, int score, std::int64_t atMs);

    Store& store_;
    Judge judge_;
    Clock clock_;
    std::function<void(const std::string&)> log_;
    RoundsInPlay rounds_;
    std::atomic<long> replays_{0};
    std::atomic<long> ticksReplayed_{0};
    std::atomic<bool> draining_{false};
    Metrics metrics_;
};

}  // namespace bopatron::server
