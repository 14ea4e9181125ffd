#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# --version and --help print and exit 0 with no display; --help names every
# option; a stray argument or a bad option value is a usage error: one line
# naming it, the usage, exit status 2.
# usage: command_line_test.sh PROGRAM
. "$(dirname "$0")/e2e/common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
[ "$("$1" --version)" = "Bopatron 1.00" ] || fail "--version"
help=$("$1" --help) || fail "--help exits $?"
for option in --scale=N --scale=auto --fullscreen --mute F11 Ctrl+M Ctrl+Plus; do
    case "$help" in *"$option"*) ;; *) fail "--help does not mention $option" ;; esac
done
while IFS='|' read -r args named; do
    # shellcheck disable=SC2086
    status=0
    err=$("$1" $args 2>&1 >/dev/null) || status=$?
    [ $status -eq 2 ] || fail "'$args' exits $status, not 2"
    case "$err" in *"'$named'"*"Usage: bopatron"*) ;; *) fail "'$args' says '$err'" ;; esac
    [ "$(printf '%s\n' "$err" | wc -l)" = 3 ] || fail "'$args' prints more than the error and the usage"
done <<'CASES'
--bogus|--bogus
file.txt|file.txt
--version extra|extra
--mute --help|--mute
--scale=banana|--scale=banana
--scale=0|--scale=0
--scale=9|--scale=9
--scale=3x|--scale=3x
--scale=|--scale=
CASES
echo "PASS"
