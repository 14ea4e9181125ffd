// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// --world=URL: the desktop carries the world client's requests with Qt
// Network and shows what it says in the title bar. Every decision (what to
// send and when, what an answer means, how a verdict reads) is the core's
// world::Client. Requests run in the event loop: no tick, press or box ever
// waits on one, but a round's first tick, which waits for the round's value.

#include "world/client.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>

namespace bopatron::ui {

class WorldClient : public QObject {
public:
    explicit WorldClient(const QUrl& server, QObject* parent = nullptr);

    // Asks the table for a session; waits at most the core's time for it.
    // nullopt (and the client stays off) when none came: the game then takes its own seed.
    std::optional<std::uint64_t> start();
    bool on() const { return client_.on(); }

    void addLine(const std::string& line);
    void tableStep(int score) { client_.tableStep(score); }
    // "New Game" started a round: asks for its value; done receives it, or
    // nullopt when none came in time (the round plays off the table). A
    // round started again before the answer forgets the first ask.
    void askValue(std::function<void(std::optional<std::uint64_t>)> done);
    // Sends what is left and waits for it, at most the core's time (the window is closing).
    void finish();

    // Told what to show after the title: "world: round 1: 3rd today", "world table off: ...".
    std::function<void(const QString& status)> onStatus;

private:
    // Carries one request; answered gets the table's answer (status 0: none came).
    void carry(const world::Request& request, std::function<void(const world::Answer&)> answered);
    // Sends the batch the core says is due, if any.
    void pump();
    void tell();

    QUrl server_;
    QNetworkAccessManager net_;
    world::Client client_;
    QTimer pulse_;
    int valueAsks_ = 0;
};

}  // namespace bopatron::ui
