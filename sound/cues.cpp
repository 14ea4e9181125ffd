// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "sound/cues.h"

#include "runtime/basic.h"

namespace bopatron::sound {

void playCue(runtime::Host& host, std::string_view cue) {
    host.playSoundAsync(runtime::programPath(host.programFolder(), cue));
}

}  // namespace bopatron::sound
