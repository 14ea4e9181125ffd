#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# The built game at --scale=3 under Xvfb: the client area is 1311 x 852, the
# bare field is the 1x picture with every pixel made 3 x 3, and a round played
# by clicking at 3x where rats come up scores into the "Top 5" box. An option
# on the command line writes no settings. The timing log numbers the ticks from 1.
# The round is recorded: --timedemo plays it to the window's final score and
# checksum (the same line twice), --play shows it to the same final frame
# without touching the table or the settings, and a recording killed mid-round
# plays to its last whole line.
# usage: scale_test.sh PROGRAM
. "$(dirname "$0")/common.sh"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" BOPATRON_TIMING_LOG="$work/timing.log"
mkdir -p "$HOME"
cp -r "$(dirname "$1")" "$work/game"
XVFB_SCREEN=1600x1000x24 launch g "$work/game/$(basename "$1")" --scale=3 --record="$work/round.dem"

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
# The recording: closed by a signal, it ends with its closing line.
import -window "$(window_of g)" "$work/recorded.png"
kill -TERM "$g"
for _ in $(seq 50); do kill -0 "$g" 2>/dev/null || break; sleep 0.1; done
last=$(tail -1 "$work/round.dem")
case "$last" in "end 1000 "*) ;; *) fail "the demo does not close with 1000 ticks: $last" ;; esac
# The score shown and placed; a rat that gets back in the same last tick, after
# the table, still costs its 20 points in the game's own score.
placed=$(sed -n 's/^"BIG",\([0-9-]*\).*/\1/p' "$work/game/Scores.txt")
score=$(echo "$last" | cut -d' ' -f3)
[ "$score" -le "$placed" ] && [ $(((placed - score) % 20)) = 0 ] || fail "closing line $last, table score $placed"
timedemo() { "$work/game/$(basename "$1")" --timedemo="$work/round.dem" | sed 's/ ms=[0-9.]*//'; }
expected="timedemo: ticks=1000 score=$score frames=$(echo "$last" | cut -d' ' -f4) round-scores=$placed"
[ "$(timedemo "$1")" = "$expected" ] || fail "timedemo printed '$(timedemo "$1")', not '$expected'"
[ "$(timedemo "$1")" = "$expected" ] || fail "a second timedemo printed another line"

# Shown again at 3x: the same final frame; the table and the settings untouched.
sums() { md5sum "$work/game/Scores.txt"; find "$HOME" -type f | sort | xargs -r md5sum; }
before=$(sums)
XVFB_SCREEN=1600x1000x24 launch p "$work/game/$(basename "$1")" --scale=3 --play="$work/round.dem"
for _ in $(seq 400); do [ "$(windows p 'Bopatron \(demo ended\)')" = 1 ] && break; sleep 0.1; done
[ "$(windows p 'Bopatron \(demo ended\)')" = 1 ] || fail "the demo did not play to its end in 40 s"
import -window "$(on p xdotool search --onlyvisible --name '^Bopatron \(demo ended\)$' | head -1)" "$work/played.png"
n=$(compare -metric AE "$work/recorded.png" "$work/played.png" null: 2>&1 || true)
[ "${n%% *}" = 0 ] || fail "$n pixels of the final frame differ between the round and its demo"
[ "$(sums)" = "$before" ] || fail "showing the demo changed the table or the settings"

# Killed mid-round, a recording plays to its last whole line and says it ended early.
launch k "$work/game/$(basename "$1")" --record="$work/killed.dem"
new_round k 4
sleep 1
kill -9 "$k"
out=$("$work/game/$(basename "$1")" --timedemo="$work/killed.dem") || fail "the killed recording did not play: $out"
echo "$out" | grep -q "ended early" || fail "no word that the killed recording ended early: $out"

echo "PASS: 1311 x 852, 3 x 3 blocks of the field, a round at 3x reached the Top 5 and replays exactly"
