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
#include <QWidget>

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
    // "New Game" was pressed: a value on its way belongs to no round any more.
    void newGame() { client_.newGame(); }
    // The round started asks for its value; done receives it, or nullopt when none came
    // in time (the round plays off the table). An ask a later press made stale is dropped.
    void askValue(std::function<void(std::optional<std::uint64_t>)> done);
    bool tickMayRun() const { return client_.tickMayRun(); }
    // The part of the round's randomness to mix in before the next tick, if its second begins.
    std::optional<std::uint64_t> partBeforeTick();
    // The world's box for initials opens over window, when idle says it may.
    void askInitialsOver(QWidget* window, std::function<bool()> idle);
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
    // Asks the initials of a record the world's board took, once, in a box like the game's.
    void askInitials();
    QWidget* window_ = nullptr;
    std::function<bool()> idle_;
    bool asking_ = false;
};

}  // namespace bopatron::ui
