// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/world_client.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>

namespace bopatron::ui {

namespace {

constexpr int kBatchMs = 1000;
constexpr int kMostBackoffMs = 30000;
constexpr int kRequestTimeoutMs = 10000;

QString ordinal(int n) {
    const int tens = n % 100, ones = n % 10;
    const char* suffix = (tens >= 11 && tens <= 13) ? "th" : ones == 1 ? "st" : ones == 2 ? "nd" : ones == 3 ? "rd" : "th";
    return QString::number(n) + QLatin1String(suffix);
}

}  // namespace

QString verdictText(const QJsonObject& v) {
    if (v.value(QStringLiteral("placed")).toBool()) {
        const QJsonObject ranks = v.value(QStringLiteral("ranks")).toObject();
        QStringList places;
        if (ranks.value(QStringLiteral("today")).isDouble())
            places << ordinal(ranks.value(QStringLiteral("today")).toInt()) + QStringLiteral(" today");
        if (ranks.value(QStringLiteral("all")).isDouble())
            places << ordinal(ranks.value(QStringLiteral("all")).toInt()) + QStringLiteral(" of all time");
        return places.join(QStringLiteral(", "));
    }
    if (v.contains(QStringLiteral("refused")))
        return QStringLiteral("not placed: ") + v.value(QStringLiteral("message")).toString();
    return QStringLiteral("not in the top 5");
}

WorldClient::WorldClient(const QUrl& server, QObject* parent) : QObject(parent), server_(server) {
    net_.setTransferTimeout(kRequestTimeoutMs);
    everySecond_.setInterval(kBatchMs);
    connect(&everySecond_, &QTimer::timeout, this, [this] { send(); });
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, [this] { send(); });
}

std::optional<std::uint64_t> WorldClient::start(int timeoutMs) {
    QNetworkRequest request(server_.resolved(QUrl(QStringLiteral("api/sessions"))));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = net_.post(request, QByteArray());
    QEventLoop wait;
    connect(reply, &QNetworkReply::finished, &wait, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &wait, &QEventLoop::quit);
    wait.exec();
    std::optional<std::uint64_t> seed;
    if (reply->isFinished() && reply->error() == QNetworkReply::NoError) {
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        bool number = false;
        const std::uint64_t value = answer.value(QStringLiteral("seed")).toString().toULongLong(&number);
        session_ = answer.value(QStringLiteral("session")).toString();
        if (number && !session_.isEmpty()) seed = value;
    }
    reply->abort();
    reply->deleteLater();
    if (!seed) {
        session_.clear();
        off_ = true;
        status(QStringLiteral("world table off: %1 did not answer").arg(server_.toDisplayString()));
        return std::nullopt;
    }
    status(QStringLiteral("world table on"));
    everySecond_.start();
    return seed;
}

void WorldClient::addLine(const std::string& line) {
    if (!on()) return;
    stream_.add(line);
    if (stream_.urgent() && !inFlight_ && !retry_.isActive()) send();
}

void WorldClient::send() {
    if (!on() || inFlight_ || !stream_.waiting()) return;
    const demo::WorldStream::Batch batch = stream_.next();
    QUrl url = server_.resolved(QUrl(QStringLiteral("api/sessions/%1/lines").arg(session_)));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("from"), QString::number(batch.from));
    if (batch.claim) {
        query.addQueryItem(QStringLiteral("round"), QString::number(batch.claim->round));
        query.addQueryItem(QStringLiteral("score"), QString::number(batch.claim->score));
    }
    url.setQuery(query);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain"));
    inFlight_ = true;
    QNetworkReply* reply = net_.post(request, QByteArray::fromStdString(batch.text));
    connect(reply, &QNetworkReply::finished, this, [this, reply, batch] { answered(reply, batch); });
}

void WorldClient::answered(QNetworkReply* reply, const demo::WorldStream::Batch& batch) {
    reply->deleteLater();
    inFlight_ = false;
    const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    if (code == 200) {
        backoffMs_ = kBatchMs;
        stream_.taken(batch, answer.value(QStringLiteral("lines")).toInteger(batch.upTo));
        if (batch.claim) status(QStringLiteral("world: ") + verdictText(answer));
        if (stream_.urgent()) send();
        return;
    }
    if (code == 409 && answer.contains(QStringLiteral("expected"))) {
        stream_.expect(answer.value(QStringLiteral("expected")).toInteger());
        send();
        return;
    }
    if (code == 400 || code == 404 || code == 413) {
        // The server will not take this session: stop, and say so.
        off_ = true;
        everySecond_.stop();
        status(QStringLiteral("world table off: ") + answer.value(QStringLiteral("message")).toString());
        return;
    }
    // Unreachable, busy (429, 503) or failing: the same lines again later.
    if (batch.claim || stream_.roundsEnded() > 0)
        status(QStringLiteral("world: round %1 unsent, trying again").arg(stream_.roundsEnded()));
    retry_.start(backoffMs_);
    backoffMs_ = std::min(backoffMs_ * 2, kMostBackoffMs);
}

void WorldClient::finish(int timeoutMs) {
    if (!on()) return;
    everySecond_.stop();
    QEventLoop wait;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &wait, &QEventLoop::quit);
    deadline.start(timeoutMs);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &wait, [this, &wait] {
        if (inFlight_) return;
        if (!stream_.waiting() || off_) wait.quit();
        else if (!retry_.isActive()) send();
    });
    poll.start(10);
    wait.exec();
}

}  // namespace bopatron::ui
