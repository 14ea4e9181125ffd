// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// bopatron-server's command line: how it serves, and the operator's commands.

#include "server/retention.h"

#include <optional>
#include <string>
#include <vector>

namespace bopatron::server {

struct HttpOptions {
    std::string bind = "127.0.0.1";
    unsigned short port = 8080;
    std::optional<std::string> site;
    // A proxy in front (nginx) whose X-Forwarded-For names the client: requests
    // from this address count against the address it forwarded for.
    std::optional<std::string> trustedProxy;
    int networkThreads = 2;
    int replayThreads = 2;
    // Connections held at once; beyond them a newcomer takes the place of the one that has
    // waited longest for a request, or, when every one is being answered, is answered 503.
    // openFileLimit() sets it from the descriptors the system allows.
    int mostConnections = 1000;
};

extern const char kUsage[];
extern const char kVersion[];

struct CommandLine {
    HttpOptions http;
    std::string database;  // "" for the default
    Retention retention;
    std::string command;   // "" to serve; check, review, approve, remove, demo, backup
    long long record = 0;  // approve, remove, demo
    std::string file;      // backup
    bool help = false, version = false;
    std::string error;     // why the command line cannot be used; "" when it can
};
// The arguments after the program's name.
CommandLine readCommandLine(const std::vector<std::string>& args);

}  // namespace bopatron::server
