// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/site.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace bopatron::server {

namespace {

const std::map<std::string, std::string> kTypes = {
    {".html", "text/html; charset=utf-8"}, {".js", "text/javascript"}, {".mjs", "text/javascript"},
    {".css", "text/css"}, {".json", "application/json"}, {".webmanifest", "application/manifest+json"},
    {".wasm", "application/wasm"}, {".png", "image/png"}, {".svg", "image/svg+xml"}, {".ico", "image/x-icon"},
    {".wav", "audio/wav"}, {".mp3", "audio/mpeg"}, {".txt", "text/plain; charset=utf-8"}, {".dem", "text/plain"},
    {".spr", "application/octet-stream"}};
// The encodings the build makes, best first, with the ending of their copies.
const std::pair<const char*, const char*> kEncodings[] = {{"br", ".br"}, {"gzip", ".gz"}};
constexpr char kForAYear[] = "public, max-age=31536000, immutable";

Response plain(int status, const std::string& text) { return {status, "text/plain; charset=utf-8", text + "\n", {}}; }

// Whether the Accept-Encoding header takes this coding (named, or "*", with no q=0).
bool accepts(std::string_view header, std::string_view coding) {
    while (!header.empty()) {
        const std::size_t comma = header.find(',');
        std::string_view item = header.substr(0, comma);
        header = comma == std::string_view::npos ? std::string_view() : header.substr(comma + 1);
        const std::size_t semi = item.find(';');
        std::string_view name = item.substr(0, semi), params = semi == std::string_view::npos ? "" : item.substr(semi + 1);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        std::string lower(name);
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower != coding && lower != "*") continue;
        std::string q(params);
        q.erase(std::remove(q.begin(), q.end(), ' '), q.end());
        return !(q.rfind("q=0", 0) == 0 && q.find_first_of("123456789") == std::string::npos);
    }
    return false;
}

// NAME.HASH.EXT, HASH ten hex digits or more: its content never changes under that name.
bool namesItsContent(const std::string& name) {
    const std::size_t last = name.rfind('.');
    const std::size_t before = last == std::string::npos || last == 0 ? std::string::npos : name.rfind('.', last - 1);
    if (before == std::string::npos || last - before - 1 < 10) return false;
    return std::all_of(name.begin() + static_cast<long>(before) + 1, name.begin() + static_cast<long>(last),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

Response siteFile(const std::string& folder, const SiteRequest& request) {
    namespace fs = std::filesystem;
    const std::string& method = request.method;
    if (method != "GET" && method != "HEAD") return plain(405, "the site is read with GET");
    const std::string& target = request.target;
    std::string path = target.substr(0, target.find_first_of("?#"));
    std::string decoded;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size() && std::isxdigit(static_cast<unsigned char>(path[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(path[i + 2]))) {
            decoded += static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += path[i];
        }
    }
    // No way out of the folder: no "..", no NUL, no backslash, and the file found must lie inside it.
    if (decoded.empty() || decoded[0] != '/' || decoded.find('\0') != std::string::npos ||
        decoded.find('\\') != std::string::npos)
        return plain(400, "bad path");
    for (std::size_t at = 0; at != std::string::npos;) {
        const std::size_t next = decoded.find('/', at + 1);
        const std::string part = decoded.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        if (part == "..") return plain(404, "not found");
        at = next;
    }
    std::error_code ec;
    const fs::path root = fs::canonical(folder, ec);
    if (ec) return plain(404, "not found");
    fs::path file = root / fs::path(decoded.substr(1));
    if (fs::is_directory(file, ec)) file /= "index.html";
    const fs::path real = fs::canonical(file, ec);
    if (ec || !fs::is_regular_file(real, ec)) return plain(404, "not found");
    const std::string rel = fs::relative(real, root, ec).string();
    if (ec || rel.empty() || rel.rfind("..", 0) == 0) return plain(404, "not found");
    const auto type = kTypes.find(real.extension().string());
    Response response{200, type == kTypes.end() ? "application/octet-stream" : type->second, "", {}};
    response.headers.emplace_back("Cache-Control", namesItsContent(real.filename().string()) ? kForAYear : "no-cache");
    // The copy the client takes, when the build made one: the same file, compressed.
    fs::path sent = real;
    std::string coding;
    for (const auto& [name, ending] : kEncodings) {
        fs::path copy = real;
        copy += ending;
        if (!fs::is_regular_file(copy, ec)) continue;
        if (coding.empty() && accepts(request.acceptEncoding, name)) sent = copy, coding = name;
        if (std::none_of(response.headers.begin(), response.headers.end(), [](const auto& h) { return h.first == "Vary"; }))
            response.headers.emplace_back("Vary", "Accept-Encoding");
    }
    if (!coding.empty()) response.headers.emplace_back("Content-Encoding", coding);
    // Its size and time of change name this copy's bytes, as its ETag.
    const auto size = fs::file_size(sent, ec);
    const auto changed = fs::last_write_time(sent, ec).time_since_epoch().count();
    if (ec) return plain(404, "not found");
    char tag[64];
    std::snprintf(tag, sizeof tag, "\"%jx-%jx%s%s\"", static_cast<std::uintmax_t>(size), static_cast<std::uintmax_t>(changed),
                  coding.empty() ? "" : "-", coding.c_str());
    response.headers.emplace_back("ETag", tag);
    if (!request.ifNoneMatch.empty() &&
        (request.ifNoneMatch.find(tag) != std::string::npos || request.ifNoneMatch == "*")) {
        response.status = 304;
        return response;
    }
    std::ifstream in(sent, std::ios::binary);
    if (!in) return plain(404, "not found");
    std::ostringstream body;
    body << in.rdbuf();
    response.body = body.str();
    return response;
}

}  // namespace bopatron::server
