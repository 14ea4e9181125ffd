#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# --version and --help print and exit 0 with no display; --help names every
# option; a stray argument or a bad option value is a usage error: one line
# naming it, the usage, exit status 2. A demo that cannot be used is one line
# naming the file and what is wrong, exit status 2, nothing on stdout; a
# demo cut in the middle of a line plays to its last whole line and says so.
# usage: command_line_test.sh PROGRAM GOLDEN_DEMO
. "$(dirname "$0")/e2e/common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
[ "$("$1" --version)" = "Bopatron 1.00" ] || fail "--version"
help=$("$1" --help) || fail "--help exits $?"
for option in --scale=N --scale=auto --fullscreen --mute F11 Ctrl+M Ctrl+Plus --record=FILE --play=FILE --timedemo=FILE --world=URL; do
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
--record=|--record=
--timedemo=x.dem --mute|--mute
--record=a --play=b|--play=b
--play=b --world=http://h/|--world=http://h/
--world=|--world=
--world=ftp://h/|--world=ftp://h/
--world=http://|--world=http://
--timedemo=x.dem --world=http://h/|--world=http://h/
CASES

d="$work/demos"
mkdir -p "$d/folder.dem"
printf 'bopatron-demo 1\nseed 5\n' >"$d/unreadable.dem"
chmod 000 "$d/unreadable.dem"
printf 'hello\n' >"$d/other.dem"
printf 'bopatron-demo 2\nseed 5\n' >"$d/version.dem"
printf 'bopatron-demo 1\nseed 5\nclick\nmove 0 0 1.5\n' >"$d/short.dem"
printf 'bopatron-demo 1\nseed 5\ntick\ndown 1 0 12,5 3\n' >"$d/comma.dem"
printf 'bopatron-demo 1\nseed 99999999999999999999\n' >"$d/range.dem"
printf 'bopatron-demo 1\ncheckpoint 100 40000 0123456789abcdef\n' >"$d/noseed.dem"
printf 'bopatron-demo 1\nseed 5\nend 0 0 0123456789abcdef\ntick\n' >"$d/after.dem"
truncate -s 65M "$d/huge.dem"
while IFS='|' read -r file says; do
    status=0
    err=$(cd "$work" && "$1" --timedemo="$d/$file" 2>&1 >"$work/out") || status=$?
    [ $status -eq 2 ] || fail "$file exits $status, not 2"
    case "$err" in "bopatron: $d/$file: "*"$says"*) ;; *) fail "$file says '$err', not '$says'" ;; esac
    [ "$(printf '%s\n' "$err" | wc -l)" = 1 ] && [ ! -s "$work/out" ] || fail "$file prints more than one line"
done <<'CASES'
missing.dem|no such file
folder.dem|it is a folder
other.dem|line 1: expected 'bopatron-demo 1': this is not a Bopatron demo
version.dem|line 1: version '2' is not one this game plays
short.dem|line 4: expected a y position
comma.dem|line 4: expected an x position (a decimal from -1000000 to 1000000), found '12,5'
range.dem|line 2: '99999999999999999999' is out of range for a seed
noseed.dem|line 2: expected 'seed N' before any other event
after.dem|line 4: nothing may follow the 'end' line
huge.dem|larger than 64 MiB
CASES
# A file without permissions, for a player other than root.
player() { if [ "$(id -u)" = 0 ]; then setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; else "$@"; fi; }
err=$(player "$1" --timedemo="$d/unreadable.dem" 2>&1) && fail "an unreadable demo played"
[ "$err" = "bopatron: $d/unreadable.dem: cannot be read (Permission denied)" ] || fail "unreadable: $err"

# Cut in the middle of a line: the whole lines play, and the player is told.
{ head -c 6000 "$2"; printf "mov"; } >"$d/cut.dem"
out=$("$1" --timedemo="$d/cut.dem") || fail "the cut demo did not play: $out"
case "$out" in "timedemo: ticks="*"the demo ended early, in the middle of a line") ;; *) fail "cut demo: $out" ;; esac
echo "PASS"
