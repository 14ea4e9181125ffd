#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# The built game at --scale=3 under Xvfb: the client area is 1311 x 852, the
# bare field is the 1x picture with every pixel made 3 x 3, and a round played
# by clicking at 3x where rats come up scores into the "Top 5" box. An option
# on the command line writes no settings. The timing log numbers the ticks from 1.
# usage: scale_test.sh PROGRAM
. "$(dirname "$0")/common.sh"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" BOPATRON_TIMING_LOG="$work/timing.log"
mkdir -p "$HOME"
cp -r "$(dirname "$1")" "$work/game"
XVFB_SCREEN=1600x1000x24 launch g "$work/game/$(basename "$1")" --scale=3

for _ in $(seq 20); do import -window "$(window_of g)" "$work/shot.png" 2>/dev/null && break; sleep 0.1; done
size=$(identify -format '%wx%h' "$work/shot.png")
[ "$size" = "1311x852" ] || fail "client area is $size, not 1311x852"
# Right of the button: each block of 3 x 3 is one pixel of the 1x background.
convert "$work/shot.png" -crop 1008x852+300+0 +repage "$work/right.png"
convert "$work/right.png" -sample 336x284 "$work/small.png"
convert "$work/small.png" -sample 1008x852 "$work/blocks.png"
n=$(compare -metric AE "$work/right.png" "$work/blocks.png" null: 2>&1 || true)
[ "${n%% *}" = 0 ] || fail "$n screen pixels differ from whole 3 x 3 blocks"
convert "$work/game/Picbak.png" -crop 336x284+100+0 +repage "$work/field.png"
n=$(compare -metric AE "$work/small.png" "$work/field.png" null: 2>&1 || true)
[ "${n%% *}" = 0 ] || fail "$n field pixels differ from the background picture"

new_round g 0 3
play_blindly g 3
answer g BIG
grep -q '"BIG"' "$work/game/Scores.txt" || fail "the placed score is not in the table: $(cat "$work/game/Scores.txt")"
[ ! -e "$HOME/.config/Bopatron" ] || fail "an option on the command line wrote settings"
awk '$1 == "answer" { a = 1 } $1 == "tick" && a { n++; if ($2 != n || $4 < $3) bad = 1 }
     END { exit !(a && n == 1000 && !bad) }' "$work/timing.log" || fail "timing log: $(head -c 300 "$work/timing.log")"
echo "PASS: 1311 x 852, 3 x 3 blocks of the field, and a round at 3x reached the Top 5"
