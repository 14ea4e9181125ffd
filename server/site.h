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

}  // namespace bopatron::server
