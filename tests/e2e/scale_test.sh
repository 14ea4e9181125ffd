#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Starts the built game at --scale=3 under Xvfb: the window's client area is
# 1311 x 852, the bare field is the 1x picture with every pixel made 3 x 3,
# and a whole round played by clicking at 3x where rats come up scores and
# reaches the "Top 5" box. An option on the command line writes no settings.
# The timing log that bench/round_timing.sh reads numbers the ticks from 1.
# usage: scale_test.sh PROGRAM
set -eu
program="$1"
work=$(mktemp -d)
. "$(dirname "$0")/common.sh"
cleanup() {
    cleanup_game
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
export BOPATRON_TIMING_LOG="$work/timing.log"
XVFB_SCREEN=1600x1000x24 start_game "$program" --scale=3
sleep 0.5

shot "$work/before.png"
size=$(identify -format '%wx%h' "$work/before.png")
[ "$size" = "1311x852" ] || fail "client area is $size, not 1311x852"
# Right of the button: each block of 3 x 3 is one pixel of the 1x background.
convert "$work/before.png" -crop 1008x852+300+0 +repage "$work/right.png"
convert "$work/right.png" -sample 336x284 "$work/small.png"
convert "$work/small.png" -sample 1008x852 "$work/blocks.png"
n=$(compare -metric AE "$work/right.png" "$work/blocks.png" null: 2>&1 || true)
[ "${n%% *}" = 0 ] || fail "$n screen pixels differ from whole 3 x 3 blocks"
convert "$work/game/Picbak.png" -crop 336x284+100+0 +repage "$work/field.png"
n=$(compare -metric AE "$work/small.png" "$work/field.png" null: 2>&1 || true)
[ "${n%% *}" = 0 ] || fail "$n field pixels differ from the background picture"

# A whole round at difficulty 0, pressing at the foot of every hole's frames.
xdotool mousemove --window "$window" 126 66 click 1
sleep 0.8
xdotool type 0
xdotool key Return
play_blindly 3
[ -n "$box" ] || fail "no Top 5 box after the round: $(cat "$work/game/Scores.txt")"
xdotool type BIG
xdotool key Return
sleep 0.5
grep -q '"BIG"' "$work/game/Scores.txt" || fail "the placed score is not in the table: $(cat "$work/game/Scores.txt")"
[ ! -e "$HOME/.config/Bopatron" ] || fail "an option on the command line wrote settings"
awk '$1 == "answer" { a = 1 } $1 == "tick" && a { n++; if ($2 != n || $4 < $3) bad = 1 }
     END { exit !(a && n == 1000 && !bad) }' "$work/timing.log" || fail "timing log: $(head -c 300 "$work/timing.log")"
echo "PASS: 1311 x 852, 3 x 3 blocks of the field, and a round at 3x reached the Top 5"
