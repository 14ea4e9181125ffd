# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Shared by the end-to-end tests: a private copy of the program folder, a
# private Xvfb display and the game's window. Source it after setting
# "work" to a fresh folder; cleanup_game stops what start_game started.

# owns_display PID N: the process PID listens on the socket of display N.
owns_display() {
    inodes=$(ls -l "/proc/$1/fd" 2>/dev/null | sed -n 's/.*socket:\[\([0-9]*\)\]$/\1/p' | tr '\n' ' ')
    awk -v want=" $inodes" -v path="/tmp/.X11-unix/X$2" \
        '($8 == path || $8 == "@" path) && index(want, " " $7 " ") { found = 1 } END { exit !found }' /proc/net/unix
}

# start_xvfb [ARGS...]: starts a private Xvfb with the extra arguments, sets
# $xvfb to its process and exports DISPLAY. The server picks a free display
# itself (-displayfd); the display counts as ours only when its listening
# socket belongs to our own process, so a test never talks to another test's
# server.
# Two servers started at once can race for one number and the loser exits;
# it starts again. -noreset: a server that resets when its last client
# leaves (the check's xdpyinfo) refuses connections meanwhile.
start_xvfb() {
    for _ in 1 2 3 4 5; do
        rm -f "$work/display"
        Xvfb "$@" -displayfd 3 -nolisten tcp -noreset -screen 0 "${XVFB_SCREEN:-800x600x24}" 3>"$work/display" 2>/dev/null &
        xvfb=$!
        for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
        n=$(cat "$work/display" 2>/dev/null)
        export DISPLAY=":$n"
        for _ in $(seq 20); do
            kill -0 "$xvfb" 2>/dev/null || break
            if [ -n "$n" ] && owns_display "$xvfb" "$n" && xdpyinfo >/dev/null 2>&1; then
                return 0
            fi
            sleep 0.1
        done
        kill "$xvfb" 2>/dev/null || true
        sleep "0.$(( $$ % 9 + 1 ))"  # out of step with a rival
    done
    echo "FAIL: no X server of our own started"
    exit 1
}

# start_game PROGRAM [ARGS...]: starts Xvfb and the game with the arguments;
# sets $window to its window id.
start_game() {
    # A private copy of the program folder, so a test never touches the build's scores.
    cp -r "$(dirname "$1")" "$work/game"
    start_xvfb
    unset QT_QPA_PLATFORM

    program_name=$(basename "$1")
    shift
    "$work/game/$program_name" "$@" >"$work/log" 2>&1 &
    game=$!
    window=""
    for _ in $(seq 100); do
        window=$(xdotool search --onlyvisible --name '^Bopatron$' 2>/dev/null | head -1 || true)
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "FAIL: no window titled Bopatron"; cat "$work/log"; exit 1; }
    # Wait until the window can be read back: its first paint has happened.
    for _ in $(seq 50); do
        import -window "$window" "$work/probe.png" 2>/dev/null && break
        sleep 0.1
    done
}

# shot FILE: the window's client area, retried while the server is busy.
shot() {
    for _ in $(seq 20); do
        import -window "$window" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    import -window "$window" "$1"
}

cleanup_game() {
    [ -n "${game:-}" ] && kill "$game" 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
}

# play_blindly SCALE: plays the round just started, pressing at the foot of
# every hole's frames (the window at SCALE), and stops a second before the
# round's 20 s end, so that no press lands on the buttons of the "Top 5"
# box; then waits for that box and sets $box to it (empty when none came).
play_blindly() {
    end=$(( $(date +%s) + 19 ))
    # One xdotool call presses all nine holes: starting a process per press
    # is slow enough on a busy machine to let rats sink back unwhacked.
    presses=""
    for anchor in 187,48 127,79 75,116 247,58 189,90 146,126 304,66 262,98 222,134; do
        presses="$presses mousemove --window $window $(( $1 * (${anchor%,*} + 28) )) $(( $1 * (${anchor#*,} + 50) )) click 1"
    done
    while [ "$(date +%s)" -lt "$end" ]; do
        xdotool $presses
    done
    box=""
    for _ in $(seq 150); do  # ticks run late on a busy machine
        box=$(xdotool search --name '^Top 5$' 2>/dev/null | head -1 || true)
        [ -n "$box" ] && return 0
        sleep 0.1
    done
}

# new_round ANSWER [X Y]: presses "New Game" (at X, Y in the window; 40, 22
# unless given) and types the difficulty.
new_round() {
    xdotool mousemove --window "$window" "${2:-40}" "${3:-22}" click 1
    sleep 0.8
    xdotool type "$1"
    xdotool key Return
}
