// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// --world=URL: the desktop's client of a world table. It takes the session's
// seed at start-up, streams the demo with Qt Network and says each verdict in
// the title bar. Requests run in the event loop: no tick, press or box ever
// waits on one; a failed request is tried again later, one at a time.

#include "demo/world_stream.h"

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>

class QNetworkReply;

namespace bopatron::ui {

// What the title bar says of a verdict: "3rd today", "not in the top 5", or why it was refused.
QString verdictText(const QJsonObject& verdict);

class WorldClient : public QObject {
public:
    explicit WorldClient(const QUrl& server, QObject* parent = nullptr);

    // Asks the server for a session; waits at most timeoutMs. nullopt (and the
    // client stays off) when none came: the game then takes its own seed.
    std::optional<std::uint64_t> start(int timeoutMs);
    bool on() const { return !session_.isEmpty() && !off_; }

    void addLine(const std::string& line);
    void tableStep(int score) { stream_.tableStep(score); }
    // Sends what is left and waits for it, at most timeoutMs (the window is closing).
    void finish(int timeoutMs);

    // Told what to show after the title: "world: 3rd today", "world table off: ...".
    std::function<void(const QString& status)> onStatus;

private:
    void send();
    void answered(QNetworkReply* reply, const demo::WorldStream::Batch& batch);
    void status(const QString& text) {
        if (onStatus) onStatus(text);
    }

    QUrl server_;
    QNetworkAccessManager net_;
    demo::WorldStream stream_;
    QString session_;
    QTimer everySecond_;
    QTimer retry_;
    bool inFlight_ = false;
    bool off_ = false;
    int backoffMs_ = 1000;
};

}  // namespace bopatron::ui
