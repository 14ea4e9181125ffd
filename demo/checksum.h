// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// The running checksum of a session: every frame presented and every cue
// started, in order. A demo's checkpoints carry it.

#include "draw/surface.h"

#include <cstdint>
#include <string_view>

namespace bopatron::demo {

inline constexpr std::uint64_t kChecksumStart = 0xcbf29ce484222325u;  // FNV-1a's offset basis

// The running checksum of the frames shown: FNV-1a over the frame's pixels,
// taken 64 bits at a time in four lanes that are folded at the end.
std::uint64_t frameChecksum(std::uint64_t running, const draw::Surface& frame);
// The running checksum with a cue started: FNV-1a over the cue's file name.
std::uint64_t cueChecksum(std::uint64_t running, std::string_view path);

}  // namespace bopatron::demo
