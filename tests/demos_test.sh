#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Every golden demo plays through the timedemo path to each of its recorded
# checkpoints and to its closing line: any change to a frame, a score or the
# order of the cues fails here. Each round's score as its end showed it, which
# the table placed, is written for each demo in DEMO_FOLDER/round-scores: in
# sunk-in-last-tick.dem a rat gets back in the round's last tick after the table
# took the score, so its closing score is 20 lower.
# With RECORD_DEMOS and the program folder, the recorder writes the golden demos
# that today's plans make again, byte for byte: every line in its place (the seed,
# presses, answers, ticks, checkpoints every 100 ticks and after a round's last
# tick, the table's lines, the closing line). hard-rounds.dem and
# edges-and-restart.dem were recorded by earlier bots and are only played.
# usage: demos_test.sh TIMEDEMO_COMMAND DEMO_FOLDER [RECORD_DEMOS PROGRAM_FOLDER]
set -eu
status=0
for demo in "$2"/*.dem; do
    rounds=$(awk -v name="$(basename "$demo")" '$1 == name { print $2 }' "$2/round-scores")
    expected=$(tail -n 1 "$demo" | awk -v r="$rounds" '$1 == "end" { printf "timedemo: ticks=%s score=%s frames=%s round-scores=%s", $2, $3, $4, r }')
    got=$($1"$demo") || { echo "FAIL: $demo: $got"; status=1; continue; }
    [ "$(echo "$got" | sed 's/ ms=[0-9.]*//')" = "$expected" ] || { echo "FAIL: $demo: $got, not $expected"; status=1; }
done
# A demo whose frames differ from the game's by one checksum exits 1, naming
# that line; one with its score edited likewise.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
demo=$(ls "$2"/*.dem | head -n 1)
line=$(grep -n '^checkpoint ' "$demo" | sed -n 3p | cut -d: -f1)
for edit in 's/[0-9a-f]$/&x/; s/0x$/1/; s/\([1-9a-f]\)x$/0/' 's/^checkpoint \([0-9]*\) \([0-9-]*\)/checkpoint \1 \29/'; do
    sed "${line}{$edit}" "$demo" > "$scratch/edited.dem"
    cmp -s "$demo" "$scratch/edited.dem" && { echo "FAIL: the edit '$edit' changed nothing"; status=1; }
    got=$($1"$scratch/edited.dem") && code=0 || code=$?
    [ "$code" = 1 ] || { echo "FAIL: an edited checkpoint exits $code, not 1: $got"; status=1; }
    echo "$got" | grep -q "differs: line $line:" || { echo "FAIL: the edited line $line is not named: $got"; status=1; }
done
if [ $# -ge 4 ]; then
    mkdir "$scratch/recorded"
    "$3" "$4" "$scratch/recorded" >/dev/null || { echo "FAIL: record_demos"; status=1; }
    for demo in person-rounds two-rounds value-rounds world-rounds; do
        cmp "$2/$demo.dem" "$scratch/recorded/$demo.dem" || { echo "FAIL: $demo.dem is recorded otherwise now"; status=1; }
    done
    # --live plays a round's first two seconds on its value and part 2, and waits for
    # part 3 before tick 101; given the rest, its round has all 20 parts and replays.
    { printf 'seed 7\nvalue 5\nvalue 6\n'; sleep 2; seq 7 24 | sed 's/^/value /'; } |
        "$3" "$4" --live person >"$scratch/live.dem" &
    sleep 1
    ticks=$(grep -c '^tick$' "$scratch/live.dem")
    [ "$ticks" = 100 ] || { echo "FAIL: --live played $ticks ticks before part 3 came, not 100"; status=1; }
    wait
    [ "$(grep -c '^value ' "$scratch/live.dem")" = 20 ] || { echo "FAIL: --live's round has not 20 value lines"; status=1; }
    $1"$scratch/live.dem" | grep -q '^timedemo: ticks=1000 ' || { echo "FAIL: --live's round does not replay"; status=1; }
fi
[ $status = 0 ] && echo "PASS: $(ls "$2"/*.dem | wc -l) demos"
exit $status
