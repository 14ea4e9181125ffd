// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// What a server counts for its operators, in Prometheus' text format at
// GET /metrics: requests by route and status, batches, verdicts by code,
// replay seconds, the replay queue, sessions started, database errors,
// connections open and dropped. No
// label ever names a session or an address. docs/WORLD.md lists them.

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

#include <memory>
#include <string>

namespace bopatron::server {

class Metrics {
public:
    Metrics();

    // A request answered: its route (a name, never a path with an id in it) and status.
    void request(const std::string& route, int status);
    void batch() { batches_.Increment(); }
    void verdict(const std::string& code) { verdicts_.Add({{"code", code}}).Increment(); }
    void replay(double seconds, long ticks) {
        replaySeconds_.Observe(seconds);
        replayedTicks_.Increment(static_cast<double>(ticks));
    }
    void sessionStarted() { sessions_.Increment(); }
    void valueIssued() { values_.Increment(); }
    void databaseError() { databaseErrors_.Increment(); }
    void internalError() { internalErrors_.Increment(); }
    prometheus::Gauge& replayQueue() { return replayQueue_; }
    prometheus::Gauge& connections() { return connections_; }
    // A connection refused or closed by the server to stay within its limits, and why:
    // over-cap (answered 503), shed (the longest waiting, freed for a newcomer), timeout (no
    // whole request within its time), descriptors (accepting failed for want of them).
    void connectionDropped(const std::string& reason) { dropped_.Add({{"reason", reason}}).Increment(); }
    // A request refused by a limit on one client: sessions (new ones per address),
    // rounds-in-play (per address), claims (per session).
    void limited(const std::string& limit) { limited_.Add({{"limit", limit}}).Increment(); }

    // Every metric, in the text format.
    std::string text() const;

private:
    std::shared_ptr<prometheus::Registry> registry_;
    prometheus::Family<prometheus::Counter>& requests_;
    prometheus::Counter& batches_;
    prometheus::Family<prometheus::Counter>& verdicts_;
    prometheus::Histogram& replaySeconds_;
    prometheus::Counter& replayedTicks_;
    prometheus::Gauge& replayQueue_;
    prometheus::Gauge& connections_;
    prometheus::Family<prometheus::Counter>& dropped_;
    prometheus::Family<prometheus::Counter>& limited_;
    prometheus::Counter& sessions_;
    prometheus::Counter& values_;
    prometheus::Counter& databaseErrors_;
    prometheus::Counter& internalErrors_;
};

}  // namespace bopatron::server
