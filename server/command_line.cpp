// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/command_line.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

namespace bopatron::server {

const char kVersion[] = "bopatron-server 1.0.0";
const char kUsage[] =
    "Usage: bopatron-server [--bind=ADDR] [--port=N] [--database=PATH] [--site=DIR]\n"
    "                       [--trusted-proxy=ADDR] [--keep-sessions=DAYS]\n"
    "       bopatron-server check [--database=PATH]\n"
    "       bopatron-server review | approve ID | remove ID | demo ID [--database=PATH]\n"
    "       bopatron-server backup FILE [--database=PATH]\n"
    "\n"
    "The world table of Bopatron: every round that claims a place is played again\n"
    "and timed before it is ranked. docs/WORLD.md describes the protocol.\n"
    "\n"
    "  --bind=ADDR      the address to listen on (default 127.0.0.1)\n"
    "  --port=N         the port (default 8080; 0 picks a free one)\n"
    "  --database=PATH  the SQLite file (default world.db in the data folder:\n"
    "                   $STATE_DIRECTORY, or $XDG_DATA_HOME/bopatron-server,\n"
    "                   or ~/.local/share/bopatron-server), or a PostgreSQL\n"
    "                   database that several servers share: postgresql://...\n"
    "  --site=DIR       also serve this static folder (the browser game) at /\n"
    "  --trusted-proxy=ADDR  a proxy in front (nginx at 127.0.0.1): its requests\n"
    "                   count against the client X-Forwarded-For names\n"
    "  --keep-sessions=DAYS  delete a session that holds no record this long after\n"
    "                   its last line, and what no record needs of the others\n"
    "                   (default 7)\n"
    "  check            play every stored record again and list those that no longer match\n"
    "  review           list the records held for review (played as no person plays,\n"
    "                   docs/WORLD.md), best score first, with the reasons\n"
    "  approve ID       put held record ID on the boards\n"
    "  remove ID        take record ID off the boards (or out of review)\n"
    "  demo ID          write record ID's round as a demo to standard output\n"
    "                   (bopatron --play=FILE shows it)\n"
    "  backup FILE      copy a SQLite table to FILE as it is now, while it serves\n"
    "                   (for PostgreSQL, pg_dump: see docs/WORLD.md)\n"
    "  --help, --version\n";

namespace {

using Option = std::function<std::string(CommandLine&, const std::string& value)>;

std::string bind(CommandLine& c, const std::string& v) {
    if (v.empty()) return "--bind needs an address";
    c.http.bind = v;
    return "";
}

std::string port(CommandLine& c, const std::string& v) {
    char* end = nullptr;
    const long port = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || port < 0 || port > 65535) return "--port must be 0 to 65535, not '" + v + "'";
    c.http.port = static_cast<unsigned short>(port);
    return "";
}

std::string database(CommandLine& c, const std::string& v) {
    if (v.empty()) return "--database needs a path";
    c.database = v;
    return "";
}

std::string site(CommandLine& c, const std::string& v) {
    if (!std::filesystem::is_directory(v)) return "--site: '" + v + "' is not a folder";
    c.http.site = v;
    return "";
}

std::string trustedProxy(CommandLine& c, const std::string& v) {
    // Kept as the peer's address is written (::1, not 0:0::1), which it is compared with.
    unsigned char bytes[16];
    char canonical[INET6_ADDRSTRLEN];
    const int family = inet_pton(AF_INET, v.c_str(), bytes) == 1    ? AF_INET
                       : inet_pton(AF_INET6, v.c_str(), bytes) == 1 ? AF_INET6
                                                                      : 0;
    if (!family || !inet_ntop(family, bytes, canonical, sizeof canonical))
        return "--trusted-proxy must be an IP address, not '" + v + "'";
    c.http.trustedProxy = canonical;
    return "";
}

std::string keepSessions(CommandLine& c, const std::string& v) {
    char* end = nullptr;
    const double days = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !(days > 0) || days > 36500)
        return "--keep-sessions must be a number of days above 0, not '" + v + "'";
    c.retention.keepDays = days;
    return "";
}

const std::map<std::string, Option> kOptions = {
    {"--bind", bind}, {"--port", port}, {"--database", database}, {"--site", site},
    {"--trusted-proxy", trustedProxy}, {"--keep-sessions", keepSessions},
};

// The commands, and what each takes after its name.
enum class Takes { Nothing, Record, File };
const std::map<std::string, Takes> kCommands = {
    {"check", Takes::Nothing}, {"review", Takes::Nothing}, {"approve", Takes::Record},
    {"remove", Takes::Record}, {"demo", Takes::Record},    {"backup", Takes::File},
};

// The command's argument at args[i + 1]: "" when it has it, or why not.
std::string argumentOf(CommandLine& c, const std::vector<std::string>& args, std::size_t& i, Takes takes) {
    const std::string* next = i + 1 < args.size() ? &args[i + 1] : nullptr;
    if (takes == Takes::File) {
        if (!next || next->empty() || (*next)[0] == '-') return "backup needs a file to write";
        c.file = *next;
    } else if (takes == Takes::Record) {
        char* end = nullptr;
        c.record = next ? std::strtoll(next->c_str(), &end, 10) : 0;
        if (c.record <= 0 || *end != '\0') return c.command + " needs a record number";
    } else {
        return "";
    }
    ++i;
    return "";
}

}  // namespace

CommandLine readCommandLine(const std::vector<std::string>& args) {
    CommandLine c;
    for (std::size_t i = 0; i < args.size() && c.error.empty(); ++i) {
        const std::string& arg = args[i];
        const std::size_t eq = arg.find('=');
        if (arg == "--help" || arg == "-h") {
            c.help = true;
        } else if (arg == "--version") {
            c.version = true;
        } else if (const auto option = kOptions.find(arg.substr(0, eq)); eq != std::string::npos && option != kOptions.end()) {
            c.error = option->second(c, arg.substr(eq + 1));
        } else if (const auto command = kCommands.find(arg); c.command.empty() && command != kCommands.end()) {
            c.command = arg;
            c.error = argumentOf(c, args, i, command->second);
        } else {
            c.error = "unknown option '" + arg + "'";
        }
        if (c.help || c.version) return c;
    }
    return c;
}

}  // namespace bopatron::server
