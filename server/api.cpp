// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/api.h"

#include "demo/demo_file.h"
#include "scores/printscore.h"
#include "server/text.h"

#include <nlohmann/json.hpp>


#include <charconv>
#include <stdexcept>

namespace bopatron::server {

namespace {

using nlohmann::json;

Response jsonResponse(int status, const json& body) {
    return {status, "application/json", body.dump(-1, ' ', false, json::error_handler_t::replace) + "\n"};
}

Response error(int status, const std::string& code, const std::string& message) {
    return jsonResponse(status, {{"error", code}, {"message", message}});
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX and + decoded; nullopt for a broken escape.
std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (i + 2 >= text.size()) return std::nullopt;
            const int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += text[i] == '+' ? ' ' : text[i];
        }
    }
    return out;
}

template <typename T> std::optional<T> number(const std::string& text) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string_view> split(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        parts.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

bool isHex(std::string_view text, std::size_t size) {
    if (text.size() != size) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

json recordJson(const RecordRow& r) {
    return {{"record", r.id},       {"initials", r.initials}, {"score", r.score},
            {"difficulty", r.difficulty}, {"at", isoTime(r.atMs)}};
}

// A JSON rank: the place on a board of five, or null.
json rankJson(long above) { return above < kBoardSize ? json(above + 1) : json(nullptr); }

}  // namespace

Api::Api(Store& store, const Replayer& replayer, Clock clock, std::function<void(const std::string&)> log)
    : newValue(randomNumber), newSecret(newRoundSecret), store_(store), judge_(store, replayer), clock_(std::move(clock)), log_(std::move(log)) {}

bool Api::serves(const std::string& target) {
    const std::string path = target.substr(0, target.find('?'));
    return path.rfind("/api/", 0) == 0 || path == "/livez" || path == "/readyz" || path == "/metrics";
}

std::string Api::routeOf(const std::string& target) {
    const auto parts = split(std::string_view(target).substr(0, target.find('?')));
    const auto at = [&](std::size_t i) { return i < parts.size() ? parts[i] : std::string_view(); };
    if (parts.size() == 2 && (at(1) == "livez" || at(1) == "readyz" || at(1) == "metrics")) return std::string(at(1));
    if (at(1) != "api") return "other";
    if (parts.size() == 3 && (at(2) == "sessions" || at(2) == "top")) return std::string(at(2));
    if (parts.size() == 5 && at(2) == "sessions" && (at(4) == "lines" || at(4) == "rounds"))
        return target.find("round=") != std::string::npos && at(4) == "lines" ? "claim" : std::string(at(4));
    if (at(2) == "records" && parts.size() == 4) return "record";
    if (at(2) == "records" && parts.size() == 5 && (at(4) == "demo" || at(4) == "initials")) return "record_" + std::string(at(4));
    return "other";
}

std::string Api::loggedPath(const std::string& target) {
    std::string shown = target.substr(0, target.find('?'));
    const std::size_t id = 14;  // after "/api/sessions/"
    if (shown.rfind("/api/sessions/", 0) == 0 && shown.size() > id + 32 && shown[id + 32] == '/')
        shown = "/api/sessions/" + shown.substr(id, 8) + "\u2026" + shown.substr(id + 32);
    return shown;
}

bool Api::mayReplay(const Request& request) {
    return request.method == "POST" && request.target.find("round=") != std::string::npos;
}

Response Api::handle(const Request& request) {
    const std::string route = routeOf(request.target);
    Response response;
    const auto failed = [&](const char* what) {
        metrics_.internalError();
        log_("internal error in " + route + ": " + what);
        return error(500, "internal", "the world table failed to answer this request; try again later");
    };
    try {
        response = dispatch(request);
    } catch (const StoreUnavailable& e) {
        metrics_.databaseError();
        log_(std::string("database unavailable: ") + e.what());
        response = error(503, "unavailable", "the world table cannot store or read anything at the moment; try again later");
    } catch (const std::exception& e) {
        response = failed(e.what());
    } catch (...) {
        response = failed("an unknown exception");
    }
    metrics_.request(route, response.status);
    return response;
}

Response Api::ready() {
    if (draining_) return error(503, "draining", "this server is stopping");
    store_.session(std::string(32, '0'));  // the database answers (or this throws: 503)
    return {200, "text/plain; charset=us-ascii", "ready\n"};
}

Response Api::dispatch(const Request& request) {
    const std::size_t question = request.target.find('?');
    const std::string_view path = std::string_view(request.target).substr(0, question);
    std::map<std::string, std::string> query;
    if (question != std::string::npos) {
        std::string_view rest = std::string_view(request.target).substr(question + 1);
        while (!rest.empty()) {
            const std::size_t amp = rest.find('&');
            const std::string_view pair = rest.substr(0, amp);
            const std::size_t eq = pair.find('=');
            const auto key = percentDecoded(pair.substr(0, eq));
            const auto value = percentDecoded(eq == std::string_view::npos ? "" : pair.substr(eq + 1));
            if (!key || !value) return error(400, "malformed", "the query of the request cannot be read");
            query[*key] = *value;
            if (amp == std::string_view::npos) break;
            rest.remove_prefix(amp + 1);
        }
    }
    const auto parts = split(path);  // "", "api", ...
    const auto is = [&](std::initializer_list<std::string_view> shape) {
        if (parts.size() != shape.size()) return false;
        std::size_t i = 0;
        for (const std::string_view want : shape) {
            if (want != "*" && parts[i] != want) return false;
            ++i;
        }
        return true;
    };
    {
        if (is({"", "livez"})) return {200, "text/plain; charset=us-ascii", "live\n"};
        if (is({"", "readyz"})) return ready();
        if (is({"", "metrics"})) return {200, "text/plain; version=0.0.4; charset=utf-8", metrics_.text()};
        if (draining_) return error(503, "draining", "this server is stopping; try again, another may answer");
        if (is({"", "api", "sessions"})) {
            if (request.method != "POST") return error(405, "method", "POST starts a session");
            return createSession(request);
        }
        if (is({"", "api", "sessions", "*", "rounds"})) {
            if (request.method != "POST") return error(405, "method", "a round's value is asked for with POST");
            return roundValue(std::string(parts[3]), request);
        }
        if (is({"", "api", "sessions", "*", "lines"})) {
            if (request.method != "POST") return error(405, "method", "lines are sent with POST");
            return lines(std::string(parts[3]), query, request);
        }
        if (is({"", "api", "top"})) {
            if (request.method != "GET" && request.method != "HEAD") return error(405, "method", "the boards are read with GET");
            return top(query);
        }
        if (is({"", "api", "records", "*"}) || is({"", "api", "records", "*", "demo"}) ||
            is({"", "api", "records", "*", "initials"})) {
            const auto id = number<long long>(std::string(parts[3]));
            if (!id || *id <= 0) return error(404, "no-record", "there is no such record");
            if (parts.size() == 5 && parts[4] == "initials") {
                if (request.method != "POST") return error(405, "method", "initials are sent with POST");
                return initials(*id, request);
            }
            if (request.method != "GET" && request.method != "HEAD") return error(405, "method", "records are read with GET");
            return record(*id, parts.size() == 5);
        }
        return error(404, "not-found", "there is nothing at " + std::string(path.substr(0, 100)));
    }
}

bool Api::within(const char* limit, bool allowed) {
    if (!allowed) metrics_.limited(limit);
    return allowed;
}

Response Api::createSession(const Request& request) {
    const std::int64_t now = clock_.nowMs();
    if (!within("sessions", store_.limits().take("address " + rateKey(request.client), kSessionBurst, kSessionRefillMs, now)))
        return error(429, "too-many-sessions", "too many new sessions from one address; wait a minute");
    const std::string bits = randomBytes(24);
    SessionRow row;
    row.id = hex(bits.substr(0, 16));
    for (int i = 0; i < 8; ++i) row.seed = row.seed << 8 | static_cast<unsigned char>(bits[16 + i]);
    row.createdMs = now;
    store_.createSession(row);
    metrics_.sessionStarted();
    return jsonResponse(200, {{"session", row.id}, {"seed", std::to_string(row.seed)}});
}

Response Api::roundValue(const std::string& id, const Request& request) {
    if (!isHex(id, 32)) return error(404, "no-session", "there is no such session");
    const std::int64_t now = clock_.nowMs();
    const auto session = store_.session(id);
    if (!session || now - session->lastMs > kSessionIdleMs)
        return error(404, "no-session", "there is no such session, or it ended after an hour without lines");
    if (!within("rounds-in-play", store_.limits().startRound(rateKey(request.client), id, kValuesInPlay, kValueInPlayMs, now)))
        return error(429, "too-many-rounds-in-play",
                     std::to_string(kValuesInPlay) + " rounds are in play from this address already; this one plays off the table");
    const IssuedValue issued{newValue(), now, newSecret()};
    if (!store_.issueValue(id, issued, kMostValues))
        return error(413, "too-many-rounds", "a session is given at most " + std::to_string(kMostValues) + " round values");
    rounds_.issued(id, issued);
    metrics_.valueIssued();
    // The round's value is its first part; its second and third come with it.
    json parts = json::array();
    for (int k = 2; k <= kPartsAhead; ++k) parts.push_back(std::to_string(roundPart(issued.secret, k)));
    return jsonResponse(200, {{"value", std::to_string(issued.value)}, {"parts", parts}});
}

Response Api::lines(const std::string& id, const std::map<std::string, std::string>& query, const Request& request) {
    if (!isHex(id, 32)) return error(404, "no-session", "there is no such session");
    const auto from = query.count("from") ? number<long>(query.at("from")) : std::nullopt;
    if (!from || *from < 0) return error(400, "malformed", "from=K, the number of the first line sent, is needed");
    std::optional<int> round, claimed;
    if (query.count("round") || query.count("score")) {
        round = query.count("round") ? number<int>(query.at("round")) : std::nullopt;
        claimed = query.count("score") ? number<int>(query.at("score")) : std::nullopt;
        if (!round || !claimed || *round < 1 || *claimed < -32768 || *claimed > 32767)
            return error(400, "malformed", "a claim is round=N (1 or more) and score=S (a 16-bit score)");
        if (*round > kMostRounds)
            return error(413, "too-many-rounds", "a session holds at most " + std::to_string(kMostRounds) + " rounds");
    }
    // part=K: the round's parts from the K-th on, as many as the table may give (0: none asked).
    const int part = query.count("part") ? number<int>(query.at("part")).value_or(0) : 0;
    if (query.count("part") && (part < 2 || part > kRoundParts))
        return error(400, "malformed", "part=K asks the round's parts from the K-th on (2 to " + std::to_string(kRoundParts) + ")");
    if (request.body.size() > kMostBatchBytes) return error(413, "too-large", "a batch holds at most 256 KB");
    std::vector<std::string_view> lines;
    std::string_view body = request.body;
    if (!body.empty() && body.back() != '\n') return error(400, "malformed", "a batch is whole lines, each ending in LF");
    while (!body.empty()) {
        const std::size_t end = body.find('\n');
        const std::string_view line = body.substr(0, end);
        for (const char c : line)
            if (c < 0x20 || c > 0x7e) return error(400, "malformed", "a demo line is plain printable ASCII");
        lines.push_back(line);
        body.remove_prefix(end + 1);
    }
    if (round && !within("claims", store_.limits().take("claims " + id, kClaimBurst, kClaimRefillMs, clock_.nowMs())))
        return error(429, "too-many-claims", "too many claims for one session; wait a few seconds");
    if (*from == 0 && !lines.empty() && lines[0] != demo::kFirstLine)
        return error(400, "malformed", std::string("line 0 of a demo is '") + demo::kFirstLine + "'");

    const std::int64_t now = clock_.nowMs();
    const auto session = store_.session(id);
    if (!session || now - session->lastMs > kSessionIdleMs)
        return error(404, "no-session", "there is no such session, or it ended after an hour without lines");
    const Append appended = store_.appendLines(id, *from, lines, now, kMostSessionBytes);
    switch (appended.result) {
        case Append::Result::NoSession: return error(404, "no-session", "there is no such session");
        case Append::Result::Gap:
            return jsonResponse(409, {{"error", "gap"},
                                      {"message", "lines are missing: the next line expected is " +
                                                      std::to_string(appended.lines)},
                                      {"expected", appended.lines}});
        case Append::Result::TooLarge: return error(413, "too-large", "a session holds at most 8 MB of lines");
        case Append::Result::Appended: metrics_.batch(); break;
        case Append::Result::Duplicate: break;
    }
    json answered = {{"lines", appended.lines}};
    if (round) {
        const Claim claim{id, *round, *claimed};
        const Judgement judged = judge_.claim(claim, clock_.nowMs());
        if (judged.kind != Judgement::Kind::Incomplete) store_.limits().roundClaimed(rateKey(request.client), id);
        answered = answer(claim, judged);
        answered["lines"] = appended.lines;
    }
    if (part > 0) answered["parts"] = partsAfter(id, part, *from, lines, appended.lines);
    return jsonResponse(200, answered);
}

json Api::partsAfter(const std::string& id, int first, long from, const std::vector<std::string_view>& lines, long held) {
    json parts = {{"value", nullptr}, {"from", first}, {"values", json::array()}};
    const auto inPlay = rounds_.after(id, from, lines, held, [&] { return store_.log(id); });
    if (!inPlay || inPlay->value.secret.empty()) return parts;
    parts["value"] = std::to_string(inPlay->value.value);
    for (int k = first; k <= partsDue(inPlay->ticks); ++k) parts["values"].push_back(std::to_string(roundPart(inPlay->value.secret, k)));
    return parts;
}

json Api::answerFrom(const StoredVerdict& v) {
    if (v.record > 0) {
        const auto r = store_.record(v.record);
        // Taken off the boards by an operator since: no longer a place to report.
        if (r && r->removed)
            return json{{"placed", false}, {"refused", "removed"}, {"message", "an operator took the round off the boards"}};
        // Held until an operator looks: said so, with why; once approved, ranked as any other.
        if (r && !r->held.empty())
            return json{{"placed", false}, {"held", true}, {"record", r->id}, {"message", r->held}};
        if (r) return ranks(r->id, r->score, r->atMs);
    }
    if (!v.code.empty()) return json{{"placed", false}, {"refused", v.code}, {"message", v.message}};
    return json{{"placed", false}};
}

json Api::answer(const Claim& claim, const Judgement& j) {
    if (j.replayed) {
        ++replays_;
        ticksReplayed_ += j.replayed->ticks;
        metrics_.replay(j.replayed->seconds, j.replayed->ticks);
    }
    metrics_.verdict(j.metric());
    log_("verdict: session " + claim.session.substr(0, 8) + " round " + std::to_string(claim.round) + " " + j.said);
    // An incomplete round is not decided: more lines may complete it.
    if (j.kind == Judgement::Kind::Incomplete)
        return json{{"placed", false}, {"refused", j.verdict.code}, {"message", j.verdict.message}};
    return answerFrom(j.verdict);
}

json Api::ranks(long long record, int score, std::int64_t atMs) {
    // Records above this one: a higher score, or an equal one placed earlier.
    const auto above = [&](std::int64_t since) {
        long n = 0;
        for (const RecordRow& r : store_.top(since, kBoardSize))
            if (r.id != record && ranksAbove(r, score, atMs, record)) ++n;
        return n;
    };
    const std::int64_t today = dayStartMs(clock_.nowMs());
    return json{{"placed", true},
                {"record", record},
                {"ranks", {{"all", rankJson(above(0))}, {"today", atMs >= today ? rankJson(above(today)) : json(nullptr)}}}};
}

Response Api::top(const std::map<std::string, std::string>& query) {
    const std::string board = query.count("board") ? query.at("board") : "all";
    if (board != "all" && board != "today") return error(400, "malformed", "board is all or today");
    const auto n = query.count("n") ? number<int>(query.at("n")) : std::optional<int>(kBoardSize);
    if (!n || *n < 1 || *n > kMostListed) return error(400, "malformed", "n is 1 to 100");
    json rows = json::array();
    int rank = 0;
    for (const RecordRow& r : store_.top(board == "all" ? 0 : dayStartMs(clock_.nowMs()), *n)) {
        json row = recordJson(r);
        row["rank"] = ++rank;
        rows.push_back(row);
    }
    return jsonResponse(200, rows);
}

Response Api::record(long long id, bool withDemo) {
    const auto r = store_.record(id);
    if (!r || r->removed) return error(404, "no-record", "there is no such record");
    if (!withDemo) {
        json row = recordJson(*r);
        row["round"] = r->round;
        // How fast the round's whacks came, for anyone to see how the best play.
        // and every press and every rat of it, beside them.
        const json play = r->reactions.empty() ? json(nullptr) : json::parse(r->reactions, nullptr, false);
        const bool whole = play.is_object() && play.contains("summary");
        row["reactions"] = whole ? play.at("summary") : play;
        row["presses"] = whole ? play.at("presses") : json(nullptr);
        row["rats"] = whole ? play.at("rats") : json(nullptr);
        // A record waiting for an operator is off the boards; why is anyone's to read.
        row["held"] = r->held.empty() ? json(nullptr) : json(r->held);
        return jsonResponse(200, row);
    }
    return {200, "text/plain; charset=us-ascii", demo::demoThrough(store_.log(r->session).text, r->lines)};
}

Response Api::initials(long long id, const Request& request) {
    const auto r = store_.record(id);
    if (!r || r->removed) return error(404, "no-record", "there is no such record");
    json body = json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("initials") || !body["initials"].is_string())
        return error(400, "malformed", "the body is {\"initials\": \"ABC\"}");
    const std::string typed = body["initials"].get<std::string>();
    if (typed.size() > 64) return error(400, "malformed", "initials are three characters at most");
    if (r->initialsFinal) return error(409, "initials-set", "this record's initials are set already");
    if (clock_.nowMs() - r->atMs > kInitialsWithinMs)
        return error(409, "initials-late", "initials can be given within ten minutes of the round");
    if (!store_.setInitials(id, utf8FromLatin1(scores::keptInitials(typed))))
        return error(409, "initials-set", "this record's initials are set already");
    return record(id, false);
}

}  // namespace bopatron::server
