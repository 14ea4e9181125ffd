#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Every golden demo plays through the timedemo path to each of its recorded
# checkpoints and to its closing line: any change to a frame, a score or the
# order of the cues fails here.
# usage: demos_test.sh TIMEDEMO_COMMAND DEMO_FOLDER  (e.g. "bopatron --timedemo=")
set -eu
status=0
for demo in "$2"/*.dem; do
    expected=$(tail -n 1 "$demo" | awk '$1 == "end" { printf "timedemo: ticks=%s score=%s frames=%s", $2, $3, $4 }')
    got=$($1"$demo") || { echo "FAIL: $demo: $got"; status=1; continue; }
    [ "$(echo "$got" | sed 's/ ms=.*//')" = "$expected" ] || { echo "FAIL: $demo: $got, not $expected"; status=1; }
done
[ $status = 0 ] && echo "PASS: $(ls "$2"/*.dem | wc -l) demos"
exit $status
