#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Real games, real files, an ordinary player (nobody) under one Xvfb:
# - two games sharing one program folder both reach the "Top 5" box before
#   either answers; both records are kept;
# - a Scores.txt of mode 0200 is left byte for byte as it was, and a box says so;
# - a read-only Scores.txt in a writable folder sends the record to the
#   player's own table;
# - a missing whack_img.spr is said in a box at start-up and is not created.
# Every table starts with five records of -999, so any round is placed.
# usage: scores_test.sh PROGRAM
set -eu
program="$1"
work=$(mktemp -d)
chmod 755 "$work"
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null || true; done
    chmod -R u+rw "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
id nobody >/dev/null 2>&1 || { echo "SKIPPED: no user 'nobody' to play as"; exit 77; }
command -v setpriv >/dev/null || { echo "SKIPPED: setpriv is missing"; exit 77; }
. "$(dirname "$0")/common.sh"

low='"LOW",-999'
for folder in shared locked readonly nospr; do
    cp -r "$(dirname "$program")" "$work/$folder"
    printf '%s\r\n%s\r\n%s\r\n%s\r\n%s\r\n' "$low" "$low" "$low" "$low" "$low" >"$work/$folder/Scores.txt"
done
rm "$work/nospr/whack_img.spr"
for name in a b c d e; do mkdir "$work/home-$name"; done
chown -R nobody "$work"
chmod 0200 "$work/locked/Scores.txt"
chmod 0444 "$work/readonly/Scores.txt"
sum() { sha256sum "$1" | cut -d' ' -f1; }
locked_sum=$(sum "$work/locked/Scores.txt")
readonly_sum=$(sum "$work/readonly/Scores.txt")

# play NAME FOLDER: starts a game as nobody on an X server of its own (any
# user may draw on it); sets NAME to the game's process and DISPLAY_NAME to its display.
play() {
    start_xvfb -ac
    pids="$pids $xvfb"
    eval "DISPLAY_$1=$DISPLAY"
    setpriv --reuid=nobody --regid=nogroup --clear-groups \
        env -u QT_QPA_PLATFORM -u XDG_DATA_HOME -u XDG_RUNTIME_DIR -u XDG_CONFIG_HOME HOME="$work/home-$1" \
        "$work/$2/$(basename "$program")" >"$work/log-$1" 2>&1 &
    eval "$1=$!"
    pids="$pids $!"
    for _ in $(seq 100); do [ "$(windows "$1" Bopatron)" -ge 1 ] && return 0; sleep 0.1; done
    cat "$work/log-$1"
    fail "game $1 shows no window"
}
# on NAME COMMAND...: runs the command on the game's display.
on() {
    d=$(eval "echo \$DISPLAY_$1")
    shift
    DISPLAY="$d" "$@"
}
# windows NAME TITLE: how many visible windows bear the title on the game's display.
windows() { on "$1" xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | wc -l; }
start_round() {
    on "$1" xdotool mousemove --window "$(on "$1" xdotool search --onlyvisible --name '^Bopatron$' | head -1)" 40 22 click 1
    sleep 0.8
    on "$1" xdotool type -- -300
    on "$1" xdotool key Return
}
answer() {
    [ "$(windows "$1" 'Top 5')" = 1 ] || fail "game $1 shows no Top 5 box"
    on "$1" xdotool type "$2"
    on "$1" xdotool key Return
    sleep 0.5
}

play e nospr
for _ in $(seq 30); do [ "$(windows e Bopatron)" -ge 2 ] && break; sleep 0.1; done
[ "$(windows e Bopatron)" -ge 2 ] || fail "no box at start-up says whack_img.spr is missing"
[ ! -e "$work/nospr/whack_img.spr" ] || fail "whack_img.spr was created"

for name in a b c d; do play $name "$(echo "a shared b shared c locked d readonly" | sed "s/.*$name \([a-z]*\).*/\1/")"; done
for name in a b c d; do start_round $name; done
sleep 20
for _ in $(seq 50); do
    [ "$(windows a 'Top 5')" = 1 ] && [ "$(windows b 'Top 5')" = 1 ] && [ "$(windows d 'Top 5')" = 1 ] && break
    sleep 0.1
done
answer a AAA
answer b BBB
answer d DDD

grep -q '"AAA"' "$work/shared/Scores.txt" || fail "the first game's record is lost: $(cat "$work/shared/Scores.txt")"
grep -q '"BBB"' "$work/shared/Scores.txt" || fail "the second game's record is lost: $(cat "$work/shared/Scores.txt")"
[ "$(sum "$work/locked/Scores.txt")" = "$locked_sum" ] || fail "the unreadable table changed"
[ "$(windows c 'Top 5')" = 0 ] || fail "initials were asked for although the table could not be read"
[ "$(windows c Bopatron)" -ge 2 ] || fail "no box says the table could not be read"
[ "$(sum "$work/readonly/Scores.txt")" = "$readonly_sum" ] || fail "the read-only table changed"
grep -q '"DDD"' "$work/home-d/.local/share/Bopatron/Scores.txt" || fail "the record is not in the player's own table"
echo "PASS: both games' records kept; unreadable table untouched and said; read-only table per player; missing sprite table said"
