#!/bin/sh
# Starts the built game under Xvfb, plays the first seconds of a round with
# xdotool and reads the window back with ImageMagick: proves the program a
# player starts really shows the field, answers the button and draws a round.
# usage: play_test.sh PROGRAM
set -eu
program="$1"
work=$(mktemp -d)
. "$(dirname "$0")/common.sh"
cleanup() {
    cleanup_game
    rm -rf "$work"
}
trap cleanup EXIT

export BOPATRON_TIMING_LOG="$work/timing.log"
start_game "$program"
sleep 0.5

pixel() { convert "$1" -format "%[pixel:p{$2,$3}]" info:; }
fail() { echo "FAIL: $*"; exit 1; }

shot "$work/before.png"
size=$(identify -format '%wx%h' "$work/before.png")
[ "$size" = "437x284" ] || fail "client area is $size, not 437x284"
# The bare field shows before the first round: no status text yet.
green=$(pixel "$work/before.png" 400 270)
case "$green" in srgb\(0,128,0\)) ;; *) fail "field pixel is $green" ;; esac

# Press "New Game", answer the prompt, and let the round run.
new_round 0
sleep 0.3
xdotool mousemove --window "$window" 250 200
sleep 1.5
shot "$work/during.png"
changed=$(compare -metric AE -extract 120x30+88+8 "$work/before.png" "$work/during.png" null: 2>&1 || true)
[ "${changed%% *}" -gt 50 ] 2>/dev/null || fail "no status text drawn (changed pixels: $changed)"
moved=$(compare -metric AE -extract 100x70+230+155 "$work/before.png" "$work/during.png" null: 2>&1 || true)
[ "${moved%% *}" -gt 200 ] 2>/dev/null || fail "no hand drawn at the pointer (changed pixels: $moved)"

# Rats come up in the holes: with the hand parked in the bottom-right corner,
# some frame rectangle above a hole changes in one of a few screenshots.
xdotool mousemove --window "$window" 425 280
seen=""
for shot in $(seq 12); do
    sleep 0.25
    shot "$work/rats.png"
    for anchor in 187,48 127,79 75,116 247,58 189,90 146,126 304,66 262,98 222,134; do
        x=$(( ${anchor%,*} + 6 )); y=$(( ${anchor#*,} + 12 ))
        n=$(compare -metric AE -extract "44x40+$x+$y" "$work/before.png" "$work/rats.png" null: 2>&1 || true)
        if [ "${n%% *}" -gt 150 ] 2>/dev/null; then seen="hole at $anchor in shot $shot"; break 2; fi
    done
done
[ -n "$seen" ] || fail "no rat came up in three seconds"
kill -0 "$game" || fail "the game ended"
# The timing log that bench/round_timing.sh reads: the answer, then ticks
# numbered from 1, each starting before it ends.
awk '$1 == "answer" { a = 1 } $1 == "tick" && a { n++; if ($2 != n || $4 < $3) bad = 1 }
     END { exit !(a && n > 50 && !bad) }' "$work/timing.log" || fail "timing log: $(head -c 300 "$work/timing.log")"
echo "PASS: window, field, New Game, status text, hand and a rat ($seen)"
