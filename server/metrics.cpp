// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/metrics.h"

#include <prometheus/text_serializer.h>

#include <sstream>

namespace bopatron::server {

namespace {

using namespace prometheus;

template <typename T> T& one(Family<T>& family) { return family.Add({}); }

}  // namespace

Metrics::Metrics()
    : registry_(std::make_shared<Registry>()),
      requests_(BuildCounter().Name("bopatron_http_requests_total").Help("Requests answered, by route and status").Register(*registry_)),
      batches_(one(BuildCounter().Name("bopatron_batches_total").Help("Batches of a session's lines taken").Register(*registry_))),
      verdicts_(BuildCounter().Name("bopatron_verdicts_total")
                    .Help("Claims answered, by verdict: placed, held (for review), not-placed, again (answered from the verdict given) or the refusal's code")
                    .Register(*registry_)),
      // From a hundredth of a second (a round's replay takes about 50 ms) to the 10 s of a 100-round session.
      replaySeconds_(BuildHistogram().Name("bopatron_replay_seconds").Help("Time a claim's replay took (from where the session's last replay stopped)")
                         .Register(*registry_)
                         .Add({}, Histogram::BucketBoundaries{0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10})),
      replayedTicks_(one(BuildCounter().Name("bopatron_replayed_ticks_total")
                             .Help("Ticks played by replays: each tick of a session is played once, whatever is claimed")
                             .Register(*registry_))),
      replayQueue_(one(BuildGauge().Name("bopatron_replay_queue").Help("Claims waiting for or in a replay thread").Register(*registry_))),
      connections_(one(BuildGauge().Name("bopatron_connections").Help("Connections open").Register(*registry_))),
      dropped_(BuildCounter().Name("bopatron_connections_dropped_total")
                   .Help("Connections refused or closed to stay within the server's limits, by reason: over-cap (answered 503), "
                         "shed (the longest waiting, for a newcomer), timeout (no whole request within 15 s), descriptors (none left to accept with)")
                   .Register(*registry_)),
      limited_(BuildCounter().Name("bopatron_limited_total")
                   .Help("Requests refused 429 by a limit on one client, by limit: sessions (new ones per address), "
                         "rounds-in-play (per address), claims (per session)")
                   .Register(*registry_)),
      sessions_(one(BuildCounter().Name("bopatron_sessions_started_total").Help("Sessions started").Register(*registry_))),
      values_(one(BuildCounter().Name("bopatron_round_values_total").Help("Round values issued").Register(*registry_))),
      databaseErrors_(one(BuildCounter().Name("bopatron_database_errors_total")
                              .Help("Requests answered 503 because the database could not store or read")
                              .Register(*registry_))),
      internalErrors_(one(BuildCounter().Name("bopatron_internal_errors_total")
                              .Help("Requests answered 500 because their handler failed unexpectedly")
                              .Register(*registry_))) {}

void Metrics::request(const std::string& route, int status) {
    requests_.Add({{"route", route}, {"status", std::to_string(status)}}).Increment();
}

std::string Metrics::text() const {
    std::ostringstream out;
    TextSerializer().Serialize(out, registry_->Collect());
    return out.str();
}

}  // namespace bopatron::server
