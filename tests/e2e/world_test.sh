#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# The real window with --world=URL under Xvfb, against a real bopatron-server:
# a round played with xdotool asks the table for its value after "New Game"
# and appears on the world board with the score the game placed and the
# initials typed; its demo holds the value and the round's 19 later parts, and plays with --timedemo to that
# score; the server killed with -9 and started again has lost nothing. A game
# whose world table does not answer says so in its title and plays on. A
# screen-reading bot's round is held for review, and approved; one that hammers the
# button where the hand rests, chasing the other rats as a person does, is placed. A round
# the world's board takes and the game's own table does not asks its initials once.
# Those last three play at once, each on a display of its own.
# usage: world_test.sh PROGRAM SERVER
. "$(dirname "$0")/common.sh"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
cp -r "$(dirname "$1")" "$work/game"
printf '"LOW",-999\r\n%.0s' 1 2 3 4 5 >"$work/game/Scores.txt"
. "$(dirname "$0")/../serve.sh"
server() {
    serve "$work/server.log" "$2" --port=0 --database="$work/world.db"
    spid=$served url=$address
}
server "$@"

# play_in_window NAME GAME WATCHER BOX: GAME sending to the table; the screen-reading
# player (WATCHER=person: at a person's pace, bot: at once) plays a round, after which the
# box titled BOX must open.
play_in_window() {
    GAME_TITLE='Bopatron .* world table on' launch "$1" "$2" --world="$url"
    GAME_TITLE='Bopatron .* world.*'
    watcher="$(dirname "$0")/../../tools/bots/watch_and_click.mjs"
    on "$1" node "$watcher" "$(window_of "$1")" 0 "$work/empty-$1.json"
    new_round "$1" 0
    on "$1" env WATCHER="$3" node "$watcher" "$(window_of "$1")" 19 "$work/empty-$1.json" >"$work/watcher-$1.out"
    for _ in $(seq 150); do [ "$(windows "$1" "$4")" = 1 ] && break; sleep 0.1; done
    [ "$(windows "$1" "$4")" = 1 ] || fail "the $3's round ($(cat "$work/watcher-$1.out")): no $4 box"
}
# round_in_window NAME WATCHER INITIALS VERDICT: play_in_window, then INITIALS typed into
# the game's own "Top 5" box; the title must then give the round's verdict, VERDICT.
round_in_window() {
    play_in_window "$1" "$game" "$2" 'Top 5'
    answer "$1" "$3"
    for _ in $(seq 100); do [ "$(windows "$1" 'Bopatron .* world: .*')" = 1 ] && break; sleep 0.1; done
    title=$(on "$1" xdotool getwindowname "$(window_of "$1")")
    echo "$title" | grep -Eq "world: round 1: $4" ||
        fail "the $2's round ($(cat "$work/watcher-$1.out")): the title says '$title': $(tail -3 "$work/server.log")"
}
game="$work/game/$(basename "$1")"

round_in_window g person WLD '1st today, 1st of all time'
placed=$(sed -n 's/^"WLD",\([0-9-]*\).*/\1/p' "$work/game/Scores.txt")
[ -n "$placed" ] || fail "the game's own table did not take the round"
top=$(curl -s "$url/api/top")
echo "$top" | grep -q "^\[{\"at\":\"[^\"]*\",\"difficulty\":0,\"initials\":\"WLD\",\"rank\":1,\"record\":1,\"score\":$placed}\]\$" ||
    fail "the board: $top, the game placed $placed"
curl -s "$url/api/records/1/demo" >"$work/record.dem"
grep -m1 -B1 -A1 '^value [0-9]*$' "$work/record.dem" | tr '\n' ' ' | grep -q '^answer "0" value [0-9]* tick $' ||
    fail "the record's demo holds no value between the difficulty and the first tick"
# And the 19 later parts of the round's randomness, each mixed in as its second began (the table checked where).
[ "$(grep -c '^value [0-9]*$' "$work/record.dem")" = 20 ] || fail "the record's demo holds $(grep -c '^value ' "$work/record.dem") value lines, not 20"
out=$("$work/game/$(basename "$1")" --timedemo="$work/record.dem") || fail "the record's demo: $out"
case "$out" in *" round-scores=$placed") ;; *) fail "the record's timedemo: $out; the game placed $placed" ;; esac

kill -9 "$spid"
wait "$spid" 2>/dev/null || true
server "$@"
[ "$(curl -s "$url/api/top")" = "$top" ] || fail "the board after kill -9: $(curl -s "$url/api/top")"
kill -TERM "$g"

# Three more rounds at once, each on a display of its own: a strong player's, a
# screen-reading bot's, and one only the world's board takes. Their records are found by
# their initials, as the table numbers them in the order their claims came.
record_of() {
    for _ in $(seq 50); do
        sqlite3 "$work/world.db" "SELECT id FROM records WHERE initials = '$1'" | grep . && return 0
        sleep 0.1
    done
    fail "no record has the initials $1"
}
# A round the game's own table does not take (its every place higher), placed on the world
# board: the window asks its initials once, in a box like the game's, and the board shows them.
world_only_round() {
    play_in_window x "$2" person 'World Top 5'
    [ "$(windows x 'Top 5')" = 0 ] || fail "the game's own table asked too"
    on x xdotool type WLXYZ
    on x xdotool key Return
    curl -s "$url/api/top" | grep -q "\"initials\":\"WLX\",\"rank\":[1-4],\"record\":$(record_of WLX)," || fail "the board: $(curl -s "$url/api/top")"
    sleep 1
    [ "$(windows x 'World Top 5')" = 0 ] || fail "the initials were asked twice"
    [ "$(grep -c '"TOP",32000' "$1/Scores.txt")" = 5 ] || fail "the game's own table changed: $(cat "$1/Scores.txt")"
    kill -TERM "$x"
}
cp -r "$work/game" "$work/top"
printf '"TOP",32000\r\n%.0s' 1 2 3 4 5 >"$work/top/Scores.txt"
# A strong player's round: ten presses a second where the hand rests, the other rats
# chased at a person's pace. Most presses hit nothing; the round is placed, not held.
# aside NAME WATCHER INITIALS VERDICT: round_in_window in the background, its output in
# $work/NAME.out; what it starts it stops, however it ends.
aside() {
    (
        pids=""
        trap 'for p in $pids; do kill "$p" 2>/dev/null || true; done' EXIT
        round_in_window "$@"
    ) >"$work/$1.out" 2>&1 &
}
aside h hammer HAM '[123].. today, [123].. of all time'
hammer=$!
# A script that reads the screen and clicks each rat as soon as it shows: its
# round is held, with why in the title (its clicks come faster than a person reacts, or
# sooner than a person's hand reaches the rat; which, depends on how busy the machine is).
bot_why='(faster than a person|sooner than a person reacts and reaches)'
aside w bot BOT "held for review: .*$bot_why"
bot=$!
world_only_round "$work/top" "$work/top/$(basename "$1")"
wait "$hammer" || { cat "$work/h.out"; exit 1; }
wait "$bot" || { cat "$work/w.out"; exit 1; }

ham=$(record_of HAM) bot=$(record_of BOT)
"$2" review --database="$work/world.db" | grep -q "^record $ham " && fail "review lists the hammering round: $("$2" review --database="$work/world.db")"
hammering=$(curl -s "$url/api/records/$ham" | node -e '
    const r = JSON.parse(require("fs").readFileSync(0, "utf8")).reactions;
    console.log(r.presses, `${r.presses} presses, ${r.missed} hitting nothing, up to ${r.fastestSecond} in a second`)')
[ "${hammering%% *}" -ge 120 ] || fail "the hammering round was not hammered: $hammering"
# The bot's round is off the board; review lists it, its demo plays, and approve puts it on the board.
! curl -s "$url/api/top" | grep -q '"initials":"BOT"' || fail "a held round is on the board: $(curl -s "$url/api/top")"
# Beside why, how its free reactions grew with their reach, for the operator to weigh.
"$2" review --database="$work/world.db" |
    grep -Eq "^record $bot \(held\): .*$bot_why.* free reactions under the floor of a reach, which grew by -?[0-9]+ ms a bit \(± [0-9]+\)\]" ||
    fail "review: $("$2" review --database="$work/world.db")"
"$2" demo "$bot" --database="$work/world.db" >"$work/held.dem" && out=$("$work/game/$(basename "$1")" --timedemo="$work/held.dem") ||
    fail "the held round's demo: $out"
"$2" approve "$bot" --database="$work/world.db" >/dev/null || fail "approve"
curl -s "$url/api/top" | grep -q "\"initials\":\"BOT\",\"rank\":[1234],\"record\":$bot," || fail "approved, not on the board: $(curl -s "$url/api/top")"

GAME_TITLE='Bopatron .* world table off.*' launch o "$work/game/$(basename "$1")" --world=http://127.0.0.1:9/
echo "PASS: a round in the window placed on the world board with its score and initials, watched, kept across kill -9;"
echo "  a hammering player's round placed (${hammering#* }); a screen-reading bot's round held with why in the title, listed by review, watched, approved;"
echo "  a round placed on the world board only asked its initials once, in the window's own box"
