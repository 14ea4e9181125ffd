// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A client's address, as the limits count it.

#include <optional>
#include <string>
#include <string_view>

namespace bopatron::server {

// The address a request counts against: the peer's, or, from the trusted
// proxy, the last address its X-Forwarded-For names (the one the proxy saw;
// the ones before it are whatever the client wrote). Empty forwardedFor: none.
std::string clientAddress(const std::string& peer, const std::optional<std::string>& trustedProxy,
                          std::string_view forwardedFor);
// The key the session limit counts an address by: an IPv4 address as it is,
// an IPv6 one by its /64 (one subscriber's network), a v4-mapped one as IPv4.
std::string rateKey(const std::string& address);

}  // namespace bopatron::server
