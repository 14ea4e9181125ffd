#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Start-up against an empty Qt window, each started 15 times on a private Xvfb.
# Usage: bench/startup.sh build [RUNS]
set -eu
build="$(realpath "$1")"
. "$(cd "$(dirname "$0")" && pwd)/../tests/e2e/common.sh"
start_xvfb
"$build/bench/startup_exec" "${2:-15}" "$build/bin/bopatron" "$build/bench/empty_window"
