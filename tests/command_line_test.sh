#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# --version and --help print and exit 0 with no display; --help names every
# option; a stray argument or a bad option value is a usage error: one line
# naming it, the usage, exit status 2.
set -u
program="$1"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
fail=0
bad() { echo "FAIL: $*"; fail=1; }

out=$("$program" --version) || bad "--version exits $?"
[ "$out" = "Bopatron 1.00" ] || bad "--version prints '$out'"
out=$("$program" --help) || bad "--help exits $?"
for option in --scale=N --scale=auto --fullscreen --mute F11 Ctrl+M Ctrl+Plus; do
    case "$out" in *"$option"*) ;; *) bad "--help does not mention $option" ;; esac
done
while IFS='|' read -r args named; do
    # shellcheck disable=SC2086
    err=$("$program" $args 2>&1 >/dev/null)
    status=$?
    [ $status -eq 2 ] || bad "'$args' exits $status, not 2"
    case "$err" in *"'$named'"*"Usage: bopatron"*) ;; *) bad "'$args' says '$err'" ;; esac
    [ "$(printf '%s\n' "$err" | wc -l)" = 2 ] || bad "'$args' prints more than the error and the usage"
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
[ $fail = 0 ] && echo "PASS"
exit $fail
