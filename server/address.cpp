// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/address.h"

#include <arpa/inet.h>

#include <algorithm>

namespace bopatron::server {

std::string clientAddress(const std::string& peer, const std::optional<std::string>& trustedProxy,
                          std::string_view forwardedFor) {
    if (!trustedProxy || peer != *trustedProxy || forwardedFor.empty()) return peer;
    const std::size_t comma = forwardedFor.find_last_of(',');
    std::string last(forwardedFor.substr(comma == std::string_view::npos ? 0 : comma + 1));
    last.erase(0, last.find_first_not_of(' '));
    last.erase(last.find_last_not_of(' ') + 1);
    unsigned char bytes[16];
    char text[INET6_ADDRSTRLEN];
    // Written back as the address is written (0:0::1 is ::1), or the proxy's own when it is none.
    if (inet_pton(AF_INET, last.c_str(), bytes) == 1) return inet_ntop(AF_INET, bytes, text, sizeof text);
    if (inet_pton(AF_INET6, last.c_str(), bytes) == 1) return inet_ntop(AF_INET6, bytes, text, sizeof text);
    return peer;
}

std::string rateKey(const std::string& address) {
    unsigned char bytes[16];
    char text[INET6_ADDRSTRLEN];
    if (address.find(':') == std::string::npos || inet_pton(AF_INET6, address.c_str(), bytes) != 1) return address;
    static constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::equal(kMapped, kMapped + 12, bytes)) return inet_ntop(AF_INET, bytes + 12, text, sizeof text);
    std::fill(bytes + 8, bytes + 16, 0);
    return std::string(inet_ntop(AF_INET6, bytes, text, sizeof text)) + "/64";
}

}  // namespace bopatron::server
