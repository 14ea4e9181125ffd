// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The static site a server may serve beside the protocol (the browser game).

#include "server/api.h"

#include <string>

namespace bopatron::server {

// What a request for the site says besides its target.
struct SiteRequest {
    std::string method;
    std::string target;
    std::string acceptEncoding;  // the Accept-Encoding header, "" when none
    std::string ifNoneMatch;     // the If-None-Match header, "" when none
};

// A file of the folder as web servers serve it: GET and HEAD, the right types, no
// listing, nothing outside the folder; the Brotli or gzip copy the build made beside it
// (FILE.br, FILE.gz) when the client accepts it; an ETag for each, and 304 when the
// client holds it already; a year's caching for a name that carries its content's hash
// (NAME.0123456789.EXT), and revalidation for any other.
Response siteFile(const std::string& folder, const SiteRequest& request);

// The headers every answer carries, for the page above all: it shows initials and messages
// strangers typed and runs WebAssembly, so it loads nothing but its own files (no inline
// script, no plugin, no other base), no other site may frame it (a click on "New Game" taken
// by a page over it) or learn where a player came from, and it is granted no device.
inline constexpr char kContentSecurityPolicy[] =
    "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self'; img-src 'self' blob:; "
    "media-src 'self' blob:; object-src 'none'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'";
inline constexpr char kReferrerPolicy[] = "no-referrer";
inline constexpr char kPermissionsPolicy[] =
    "accelerometer=(), camera=(), display-capture=(), geolocation=(), gyroscope=(), magnetometer=(), "
    "fullscreen=(), microphone=(), midi=(), payment=(), usb=()";

}  // namespace bopatron::server
