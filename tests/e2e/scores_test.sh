#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Real games, real files, an ordinary player (nobody), each game on its own Xvfb:
# - two games sharing one program folder both reach the "Top 5" box before
#   either answers; both records are kept;
# - a Scores.txt of mode 0200 is left byte for byte as it was, and a box says so;
# - a read-only Scores.txt in a writable folder sends the record to the
#   player's own table;
# - a missing whack_img.spr is said in a box at start-up and is not created.
# Every table starts with five records of -999, so any round is placed.
# usage: scores_test.sh PROGRAM
. "$(dirname "$0")/common.sh"
need_player
program=$1
for folder in shared locked readonly nospr; do
    cp -r "$(dirname "$program")" "$work/$folder"
    printf '"LOW",-999\r\n%.0s' 1 2 3 4 5 >"$work/$folder/Scores.txt"
done
rm "$work/nospr/whack_img.spr"
for name in a b c d e; do mkdir "$work/home-$name"; done
chown -R nobody "$work"
chmod 0200 "$work/locked/Scores.txt"
chmod 0444 "$work/readonly/Scores.txt"
sums=$(sha256sum "$work/locked/Scores.txt" "$work/readonly/Scores.txt")
play() { launch "$1" as_player "$work/home-$1" "$work/$2/$(basename "$program")"; }

play e nospr
for _ in $(seq 30); do [ "$(windows e Bopatron)" -ge 2 ] && break; sleep 0.1; done
[ "$(windows e Bopatron)" -ge 2 ] || fail "no box at start-up says whack_img.spr is missing"
[ ! -e "$work/nospr/whack_img.spr" ] || fail "whack_img.spr was created"

play a shared
play b shared
play c locked
play d readonly
for name in a b c d; do new_round $name -300; done
sleep 20
for _ in $(seq 100); do
    [ "$(windows a 'Top 5')$(windows b 'Top 5')$(windows d 'Top 5')" = 111 ] && break
    sleep 0.1
done
answer a AAA
answer b BBB
answer d DDD
grep -q '"AAA"' "$work/shared/Scores.txt" || fail "the first game's record is lost: $(cat "$work/shared/Scores.txt")"
grep -q '"BBB"' "$work/shared/Scores.txt" || fail "the second game's record is lost: $(cat "$work/shared/Scores.txt")"
[ "$(sha256sum "$work/locked/Scores.txt" "$work/readonly/Scores.txt")" = "$sums" ] || fail "a table that cannot be written changed"
[ "$(windows c 'Top 5')" = 0 ] || fail "initials were asked for although the table could not be read"
[ "$(windows c Bopatron)" -ge 2 ] || fail "no box says the table could not be read"
grep -q '"DDD"' "$work/home-d/.local/share/Bopatron/Scores.txt" || fail "the record is not in the player's own table"
echo "PASS: both games' records kept; unreadable table untouched and said; read-only table per player; missing sprite table said"
