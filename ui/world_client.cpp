// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "ui/world_client.h"

#include <QDateTime>
#include <QEventLoop>
#include <QInputDialog>
#include <QLineEdit>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace bopatron::ui {

namespace {

std::int64_t nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

}  // namespace

WorldClient::WorldClient(const QUrl& server, QObject* parent) : QObject(parent), server_(server) {
    // Often enough for the batch each second and a retry on time; the core decides what is due.
    pulse_.setInterval(100);
    connect(&pulse_, &QTimer::timeout, this, [this] {
        pump();
        askInitials();
    });
}

void WorldClient::carry(const world::Request& r, std::function<void(const world::Answer&)> answered) {
    QNetworkRequest request(server_.resolved(QUrl(QStringLiteral("api/") + QString::fromStdString(r.path))));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QString::fromStdString(r.contentType));
    request.setTransferTimeout(r.timeoutMs);
    QNetworkReply* reply = net_.sendCustomRequest(request, QByteArray::fromStdString(r.method), QByteArray::fromStdString(r.body));
    connect(reply, &QNetworkReply::finished, this, [reply, answered = std::move(answered)] {
        reply->deleteLater();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        answered({status.isValid() ? status.toInt() : 0, reply->readAll().toStdString()});
    });
}

std::optional<std::uint64_t> WorldClient::start() {
    std::optional<world::Answer> got;
    QEventLoop wait;
    const world::Request request = world::Client::sessionRequest();
    carry(request, [&](const world::Answer& a) {
        got = a;
        wait.quit();
    });
    QTimer::singleShot(request.timeoutMs + 500, &wait, &QEventLoop::quit);  // should the transfer timeout not fire
    wait.exec();
    const auto seed = client_.sessionAnswered(got.value_or(world::Answer{}), server_.toDisplayString().toStdString());
    if (seed) pulse_.start();
    tell();
    return seed;
}

void WorldClient::addLine(const std::string& line) {
    if (!client_.on()) return;
    client_.add(line);
    if (client_.urgent()) pump();
}

void WorldClient::askValue(std::function<void(std::optional<std::uint64_t>)> done) {
    const auto ask = client_.askValue();
    if (!ask) {
        done(std::nullopt);
        return;
    }
    carry(ask->request, [this, number = ask->ask, done = std::move(done)](const world::Answer& a) {
        const world::RoundValue round = client_.valueAnswered(number, a);
        if (round.stale) return;
        tell();
        done(round.value);
    });
}

std::optional<std::uint64_t> WorldClient::partBeforeTick() {
    const auto part = client_.partBeforeTick();
    tell();  // a part that came late: the round left the table
    return part;
}

void WorldClient::askInitialsOver(QWidget* window, std::function<bool()> idle) {
    window_ = window;
    idle_ = std::move(idle);
}

void WorldClient::askInitials() {
    if (asking_ || window_ == nullptr || !idle_ || !idle_()) return;
    const auto record = client_.initialsToAsk();
    if (!record) return;
    asking_ = true;
    QInputDialog box(window_);
    box.setWindowTitle(QString::fromLatin1(world::kWorldInitialsTitle));
    box.setLabelText(QString::fromLatin1(world::kWorldInitialsPrompt));
    box.setInputMode(QInputDialog::TextInput);
    if (auto* field = box.findChild<QLineEdit*>()) field->setMaxLength(world::kWorldInitialsLength);
    const bool typed = box.exec() == QDialog::Accepted;
    asking_ = false;
    if (!typed) return;
    carry(client_.initialsRequest(*record, box.textValue().toStdString()), [this](const world::Answer& a) {
        const std::string said = world::Client::initialsAnswered(a);
        if (onStatus) onStatus(QString::fromStdString(said.empty() ? "world: your initials are on the board" : said));
    });
}

void WorldClient::pump() {
    const auto request = client_.due(nowMs());
    if (!request) return;
    carry(*request, [this](const world::Answer& a) {
        client_.answered(a, nowMs());
        tell();
        if (client_.urgent()) pump();
    });
}

void WorldClient::tell() {
    for (const world::Notice& n : client_.takeNotices())
        if (onStatus) onStatus(QString::fromStdString(n.line()));
}

void WorldClient::finish() {
    if (!client_.on()) return;
    pulse_.stop();
    QEventLoop wait;
    QTimer::singleShot(world::kClosingWaitMs, &wait, &QEventLoop::quit);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &wait, [this, &wait] {
        if (!client_.on() || (!client_.waiting() && !client_.inFlight())) wait.quit();
        else pump();
    });
    poll.start(10);
    wait.exec();
}

}  // namespace bopatron::ui
