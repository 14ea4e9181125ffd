// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The world table's handling of lines and claims, in process, on a memory
// database: the input is a few requests, each "TARGET-SUFFIX\nBODY" and
// separated by a line "--", after the session was issued the value 7. Every answer is a status the protocol names and
// a JSON body; nothing crashes, and the session never holds more than it may.
#include "server/api.h"
#include "server/sqlite_store.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace bopatron::server;

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Replayer replayer{};  // no pictures: the frames differ, the rules run all the same
    SqliteStore store(":memory:");
    std::int64_t now = 1796713200000;
    Api api(store, replayer, {[&now] { return now; }}, [](const std::string&) {});
    const std::string id(32, 'a');
    store.createSession({id, 20261208, now, now, 0, 0});
    api.newValue = [] { return 7; };  // a round in play whose parts the inputs may ask for
    api.handle({"POST", "/api/sessions/" + id + "/rounds", "", "fuzz"});
    std::string_view input(reinterpret_cast<const char*>(data), size);
    while (!input.empty()) {
        const std::size_t end = input.find("\n--\n");
        std::string_view request = input.substr(0, end);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 4);
        const std::size_t line = request.find('\n');
        const std::string target = "/api/sessions/" + id + "/lines?" + std::string(request.substr(0, line));
        const std::string body(line == std::string_view::npos ? std::string_view() : request.substr(line + 1));
        now += 1000;
        const Response r = api.handle({"POST", target, body, "fuzz"});
        const auto answer = nlohmann::json::parse(r.body, nullptr, false);
        if (answer.is_discarded()) std::abort();
        if (r.status != 200 && r.status != 400 && r.status != 404 && r.status != 409 && r.status != 413) std::abort();
        if (r.status != 200 && !answer.contains("message")) std::abort();
    }
    if (store.session(id)->bytes > kMostSessionBytes) std::abort();
    return 0;
}
