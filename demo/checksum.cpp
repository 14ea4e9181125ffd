// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "demo/checksum.h"

namespace bopatron::demo {

namespace {

constexpr std::uint64_t kPrime = 0x100000001b3u;  // FNV's 64-bit prime

}  // namespace

std::uint64_t frameChecksum(std::uint64_t running, const draw::Surface& frame) {
    // The pixels row by row as one run, two to a 64-bit word, word i going to
    // lane i mod 4. Four independent lanes keep the multiplier busy; one lane
    // would make every word wait for the last product.
    const std::uint32_t* p = frame.pixels().data();
    const std::size_t pixels = frame.pixels().size();
    const auto word = [p](std::size_t i) { return p[2 * i] | std::uint64_t{p[2 * i + 1]} << 32; };
    std::uint64_t l0 = running, l1 = running ^ 1, l2 = running ^ 2, l3 = running ^ 3;
    const std::size_t words = pixels / 2;
    std::size_t i = 0;
    for (; i + 4 <= words; i += 4) {
        l0 = (l0 ^ word(i)) * kPrime;
        l1 = (l1 ^ word(i + 1)) * kPrime;
        l2 = (l2 ^ word(i + 2)) * kPrime;
        l3 = (l3 ^ word(i + 3)) * kPrime;
    }
    std::uint64_t* lanes[4] = {&l0, &l1, &l2, &l3};
    for (; i < words; ++i) *lanes[i & 3] = (*lanes[i & 3] ^ word(i)) * kPrime;
    if (pixels % 2 != 0) *lanes[i & 3] = (*lanes[i & 3] ^ p[pixels - 1]) * kPrime;  // the last pixel alone
    std::uint64_t folded = running;
    for (const std::uint64_t l : {l0, l1, l2, l3}) folded = (folded ^ l) * kPrime;
    return folded;
}

std::uint64_t cueChecksum(std::uint64_t running, std::string_view path) {
    // Only the name: the program's folder differs from one machine to the next.
    const std::size_t slash = path.find_last_of("/\\");
    for (const char c : path.substr(slash == std::string_view::npos ? 0 : slash + 1))
        running = (running ^ static_cast<unsigned char>(c)) * kPrime;
    return running;
}

}  // namespace bopatron::demo
