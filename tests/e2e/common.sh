# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Shared by the shell tests: a scratch folder $work, removed on exit with
# every process started here; private Xvfb displays, games started on them
# and driven with xdotool. Source it first.
set -eu
unset QT_QPA_PLATFORM # games here draw on X servers of their own
work=$(mktemp -d)
chmod 755 "$work"
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null || true; done
    on_exit >/dev/null 2>&1 || true
    chmod -R u+rw "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
on_exit() { :; } # a test may define its own clean-up
fail() { echo "FAIL: $*"; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }

# owns_display PID N: the process PID listens on the socket of display N.
owns_display() {
    inodes=$(ls -l "/proc/$1/fd" 2>/dev/null | sed -n 's/.*socket:\[\([0-9]*\)\]$/\1/p' | tr '\n' ' ')
    awk -v want=" $inodes" -v path="/tmp/.X11-unix/X$2" \
        '($8 == path || $8 == "@" path) && index(want, " " $7 " ") { found = 1 } END { exit !found }' /proc/net/unix
}

# start_xvfb NAME: starts a private Xvfb that any user may draw on (screen
# $XVFB_SCREEN) and exports DISPLAY. The server picks a free display itself
# (-displayfd); it counts as ours only when its listening socket belongs to
# our own process, so a test never talks to another test's server. Two
# servers started at once can race for one number and the loser exits; it
# starts again. -noreset: a server that resets when its last client leaves
# refuses connections meanwhile.
start_xvfb() {
    for _ in 1 2 3 4 5; do
        Xvfb -ac -displayfd 3 -nolisten tcp -noreset -screen 0 "${XVFB_SCREEN:-800x600x24}" 3>"$work/display-$1" 2>/dev/null &
        xvfb=$!
        pids="$pids $xvfb"
        for _ in $(seq 50); do [ -s "$work/display-$1" ] && break; sleep 0.1; done
        export DISPLAY=":$(cat "$work/display-$1")"
        for _ in $(seq 20); do
            kill -0 "$xvfb" 2>/dev/null || break
            owns_display "$xvfb" "${DISPLAY#:}" && xdpyinfo >/dev/null 2>&1 && return 0
            sleep 0.1
        done
        kill "$xvfb" 2>/dev/null || true
        sleep "0.$(($$ % 9 + 1))" # out of step with a rival
    done
    fail "no X server of our own started"
}

# launch NAME COMMAND...: starts the command on an Xvfb of its own and waits
# for its window; $NAME is its process, DISPLAY_NAME (and DISPLAY) its display.
launch() {
    name=$1
    shift
    start_xvfb "$name"
    eval "DISPLAY_$name=$DISPLAY"
    "$@" >"$work/log-$name" 2>&1 &
    eval "$name=$!"
    pids="$pids $!"
    for _ in $(seq 100); do [ "$(windows "$name" "$GAME_TITLE")" -ge 1 ] && sleep 0.3 && return 0; sleep 0.1; done
    cat "$work/log-$name"
    fail "game $name shows no window"
}

# as_player HOME COMMAND...: runs the command as the ordinary user nobody
# (need_player first says whether there is one).
need_player() { id nobody >/dev/null 2>&1 && command -v setpriv >/dev/null || skip "no user nobody or no setpriv"; }
as_player() {
    home=$1
    shift
    setpriv --reuid=nobody --regid=nogroup --clear-groups env -u QT_QPA_PLATFORM -u XDG_DATA_HOME \
        -u XDG_RUNTIME_DIR -u XDG_CONFIG_HOME HOME="$home" "$@"
}

# on NAME COMMAND...: runs the command on the game's display.
on() {
    d=$(eval "echo \$DISPLAY_$1")
    shift
    DISPLAY="$d" "$@"
}
# windows NAME TITLE: how many visible windows bear the title on the game's display.
windows() { on "$1" xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | wc -l; }
window_of() { on "$1" xdotool search --onlyvisible --name "^$GAME_TITLE\$" | head -1; }
GAME_TITLE=${GAME_TITLE:-Bopatron} # a game sending to a world table says so after its name

# new_round NAME ANSWER [SCALE]: presses "New Game" and, once its box is open (a second
# window; a game starting cold may miss the first press), types the difficulty.
new_round() {
    for _ in 1 2 3; do
        on "$1" xdotool mousemove --window "$(window_of "$1")" $((40 * ${3:-1})) $((22 * ${3:-1})) click 1
        sleep 0.8
        for _ in $(seq 30); do [ "$(on "$1" xdotool search --onlyvisible --name . 2>/dev/null | wc -l)" -ge 2 ] && break 2; sleep 0.1; done
    done
    on "$1" xdotool type -- "$2"
    on "$1" xdotool key Return
}

# play_blindly NAME [SCALE]: plays the round just started, pressing at the
# foot of every hole's frames, and stops a second before the round's 20 s
# end, so that no press lands on the "Top 5" box; then waits for that box.
# One xdotool call presses all nine holes: a process per press is slow
# enough on a busy machine to let rats sink back unwhacked.
play_blindly() {
    presses=""
    for anchor in 187,48 127,79 75,116 247,58 189,90 146,126 304,66 262,98 222,134; do
        presses="$presses mousemove --window $(window_of "$1") $((${2:-1} * (${anchor%,*} + 28))) $((${2:-1} * (${anchor#*,} + 50))) click 1"
    done
    end=$(($(date +%s) + 19))
    while [ "$(date +%s)" -lt "$end" ]; do on "$1" xdotool $presses; done
    for _ in $(seq 150); do [ "$(windows "$1" 'Top 5')" = 1 ] && return 0; sleep 0.1; done # ticks run late under load
    fail "no Top 5 box after the round (its windows: $(on "$1" xdotool search --onlyvisible --name . getwindowname %@ | paste -sd,)): $(cat "$work/log-$1")"
}

# answer NAME INITIALS: types them into the game's "Top 5" box.
answer() {
    [ "$(windows "$1" 'Top 5')" = 1 ] || fail "game $1 shows no Top 5 box"
    on "$1" xdotool type "$2"
    on "$1" xdotool key Return
    sleep 0.5
}
