// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/site.h"

#include <cctype>
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
    {".wav", "audio/wav"}, {".txt", "text/plain; charset=utf-8"}, {".dem", "text/plain"},
    {".spr", "application/octet-stream"}};

Response plain(int status, const std::string& text) { return {status, "text/plain; charset=utf-8", text + "\n"}; }

}  // namespace

Response siteFile(const std::string& folder, const std::string& method, const std::string& target) {
    namespace fs = std::filesystem;
    if (method != "GET" && method != "HEAD") return plain(405, "the site is read with GET");
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
    std::ifstream in(real, std::ios::binary);
    if (!in) return plain(404, "not found");
    std::ostringstream body;
    body << in.rdbuf();
    const auto type = kTypes.find(real.extension().string());
    return {200, type == kTypes.end() ? "application/octet-stream" : type->second, body.str()};
}

}  // namespace bopatron::server
