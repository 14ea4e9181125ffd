// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// A replay stopped between two events, kept as text, so that a later replay
// of the same demo goes on from there instead of playing its start again.

#include "demo/replay_host.h"
#include "demo/session.h"
#include "draw/surface.h"
#include "game/form1.h"

#include <string>
#include <string_view>

namespace bopatron::demo {

// Everything the next events depend on: the game's variables (not its sprite
// table, which is read from the program folder), the generator's state, the
// last box's answer, the ticks played and the running checksum, and the back
// buffer's text state and the pixels no tick draws over (its last column,
// which the narrower background leaves as the last frame drew it).
std::string snapshot(const ReplayHost& host, const Session& session, const game::Form1& form,
                     const draw::Surfaces& surfaces);

// Sets a replay's parts back to what a snapshot holds. The form's sprite table
// stays as it is: load it first. False, with the parts half set, for a text
// that is not a snapshot; the replay must then start from the demo's first line.
bool restore(std::string_view text, ReplayHost& host, Session& session, game::Form1& form, draw::Surfaces& surfaces);

}  // namespace bopatron::demo
