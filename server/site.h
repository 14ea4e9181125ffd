// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The static site a server may serve beside the protocol (the browser game).

#include "server/api.h"

#include <string>

namespace bopatron::server {

// A file of the folder as it is: GET and HEAD, the right types, no listing,
// nothing outside the folder.
Response siteFile(const std::string& folder, const std::string& method, const std::string& target);

}  // namespace bopatron::server
