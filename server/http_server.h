// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// HTTP/1.1 over Boost.Beast and Asio: many kept-alive connections on a couple
// of network threads; replays run on worker threads of their own, so that a
// verification never holds up a batch. Paths under /api/ go to the protocol,
// others to the static site when one is served.

#include "server/api.h"
#include "server/command_line.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace bopatron::server {

// Descriptors kept back from connections: the database (SQLite's file, journal and WAL;
// PostgreSQL's sockets), the log, the site's files being read, the replay threads.
inline constexpr int kReservedDescriptors = 64;
// Raises the process's soft open-file limit to its hard limit; gives the limit then.
long openFileLimit();

class HttpServer {
public:
    HttpServer(Api& api, HttpOptions options, std::function<void(const std::string&)> log);
    ~HttpServer();
    // Binds; throws std::runtime_error with a sentence when it cannot.
    void listen();
    unsigned short port() const;
    // Serves until SIGTERM or SIGINT; then finishes the requests in flight and returns.
    void run();

    struct Impl;  // the connections need it

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace bopatron::server
