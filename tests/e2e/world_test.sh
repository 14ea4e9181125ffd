#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# The real window with --world=URL under Xvfb, against a real bopatron-server:
# a round played with xdotool asks the table for its value after "New Game"
# and appears on the world board with the score the game placed and the
# initials typed; its demo holds the value and plays with --timedemo to that
# score; the server killed with -9 and started again has lost nothing. A game
# whose world table does not answer says so in its title and plays on.
# usage: world_test.sh PROGRAM SERVER
. "$(dirname "$0")/common.sh"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
cp -r "$(dirname "$1")" "$work/game"
printf '"LOW",-999\r\n%.0s' 1 2 3 4 5 >"$work/game/Scores.txt"
server() {
    "$2" --port=0 --database="$work/world.db" 2>"$work/server.log" &
    spid=$!
    pids="$pids $spid"
    for _ in $(seq 100); do grep -q "listening on" "$work/server.log" && break; sleep 0.05; done
    url=$(sed -n 's|.*listening on \(http://[^/]*\)/.*|\1|p' "$work/server.log")
    [ -n "$url" ] || fail "the server did not start"
}
server "$@"

GAME_TITLE='Bopatron .* world table on' launch g "$work/game/$(basename "$1")" --world="$url"
GAME_TITLE='Bopatron .* world.*'
new_round g 0
play_blindly g
answer g WLD
for _ in $(seq 100); do [ "$(windows g 'Bopatron .* world: .*')" = 1 ] && break; sleep 0.1; done
title=$(on g xdotool getwindowname "$(window_of g)")
echo "$title" | grep -q 'world: round 1: 1st today, 1st of all time' || fail "the title says '$title': $(tail -3 "$work/server.log")"
placed=$(sed -n 's/^"WLD",\([0-9-]*\).*/\1/p' "$work/game/Scores.txt")
[ -n "$placed" ] || fail "the game's own table did not take the round"
top=$(curl -s "$url/api/top")
echo "$top" | grep -q "^\[{\"at\":\"[^\"]*\",\"difficulty\":0,\"initials\":\"WLD\",\"rank\":1,\"record\":1,\"score\":$placed}\]\$" ||
    fail "the board: $top, the game placed $placed"
curl -s "$url/api/records/1/demo" >"$work/record.dem"
grep -B1 -A1 '^value [0-9]*$' "$work/record.dem" | tr '\n' ' ' | grep -q '^answer "0" value [0-9]* tick $' ||
    fail "the record's demo holds no value between the difficulty and the first tick"
out=$("$work/game/$(basename "$1")" --timedemo="$work/record.dem") || fail "the record's demo: $out"
score=$(echo "$out" | sed 's/.*score=\([0-9-]*\).*/\1/')
[ "$score" -le "$placed" ] && [ $(((placed - score) % 20)) = 0 ] || fail "the demo scores $score, the game placed $placed"

kill -9 "$spid"
wait "$spid" 2>/dev/null || true
server "$@"
[ "$(curl -s "$url/api/top")" = "$top" ] || fail "the board after kill -9: $(curl -s "$url/api/top")"
kill -TERM "$g"

GAME_TITLE='Bopatron .* world table off.*' launch o "$work/game/$(basename "$1")" --world=http://127.0.0.1:9/
echo "PASS: a round in the window placed on the world board with its score and initials, watched, kept across kill -9"
