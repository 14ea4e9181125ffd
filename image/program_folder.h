// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Where the running program's files are: the folder of its executable.

#include <string>

namespace bopatron::image {

// The folder of the running program (from /proc/self/exe, or from argv0 where that
// cannot be read), which holds the pictures, the sprite table and the cues.
std::string programFolder(const char* argv0);

// The same, or the folder `relative` to it when that exists: an installed program
// whose files lie elsewhere (share/...) finds them there, a built one beside it.
std::string programFolder(const char* argv0, const std::string& relative);

}  // namespace bopatron::image
