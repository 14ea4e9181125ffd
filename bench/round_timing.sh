#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Times one real round under Xvfb: starts the game with a timing log, presses
# "New Game", answers difficulty 5, touches nothing else, and reports the time
# from the answer to the end of tick 1000 and every tick's period.
# Also reports the processor time the game and the X server used in the round.
# Usage: bench/round_timing.sh build/bin/bopatron [GAME-ARGS...]
#   XVFB_SCREEN=3840x2160x24 SCALE=7 bench/round_timing.sh build/bin/bopatron --scale=7
#   SMOKE=1 bench/round_timing.sh build/bin/bopatron   (scripts/test: stops after 50 ticks)
# Reports only; a busy machine shows in the figures, not in the exit status.
set -eu
program="$(realpath "$1")"
shift
. "$(cd "$(dirname "$0")" && pwd)/../tests/e2e/common.sh"
on_exit() { [ -z "${KEEP_LOG:-}" ] || cp "$work/timing.log" "$KEEP_LOG"; }

# Processor time of a process so far, in clock ticks: user and system.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

export BOPATRON_TIMING_LOG="$work/timing.log"
launch game "$program" "$@"
new_round game 5 "${SCALE:-1}"
if [ -n "${SMOKE:-}" ]; then
    for _ in $(seq 100); do grep -q '^tick 50 ' "$work/timing.log" 2>/dev/null && echo "round_timing: the round runs" && exit 0; sleep 0.1; done
    echo "FAIL: the round did not reach tick 50"; cat "$work/log-game"; exit 1
fi
cpu_game=$(cpu_ticks "$game"); cpu_x=$(cpu_ticks "$xvfb"); cpu_start=$(date +%s.%N)
for _ in $(seq 300); do
    grep -q '^tick 1000 ' "$work/timing.log" 2>/dev/null && break
    sleep 0.1
done
grep -q '^tick 1000 ' "$work/timing.log" || { echo "FAIL: the round did not reach tick 1000"; cat "$work/log-game"; exit 1; }
cpu_game=$(( $(cpu_ticks "$game") - cpu_game )); cpu_x=$(( $(cpu_ticks "$xvfb") - cpu_x ))
awk -v g="$cpu_game" -v x="$cpu_x" -v hz="$(getconf CLK_TCK)" -v t0="$cpu_start" -v t1="$(date +%s.%N)" 'BEGIN {
    printf "processor time in the round, game:     %.1f %% of one core\n", g / hz / (t1 - t0) * 100
    printf "processor time in the round, X server: %.1f %% of one core\n", x / hz / (t1 - t0) * 100
}'

awk '
$1 == "main" { main = $2 }
$1 == "paint" && !painted { painted = $4 }
$1 == "answer" { answer = $2; last = $2; n = 0; max = 0; over = 0 }
$1 == "tick" && answer {
    # A period runs from the start of one tick to the start of the next.
    period = ($3 - last) / 1e6; last = $3; n++
    busy = ($4 - $3) / 1e6
    if ($2 == 1000) lastBusy = busy
    else if (busy > maxBusy) maxBusy = busy
    if (period > max) { max = period; maxTick = $2 }
    if (period > 25) over++
    if (period < 15) early++
    if ($2 == 1000) end = $4
}
END {
    total = (end - answer) / 1e9
    printf "start-up, main to first painted frame:  %.1f ms\n", (painted - main) / 1e6
    printf "answer to end of tick 1000:            %.4f s (target 20.0 s +-0.5 %%: %s)\n", total,
        (total >= 19.9 && total <= 20.1) ? "met" : "MISSED"
    printf "error against 20.0 s:                  %+.3f %%\n", (total - 20) / 20 * 100
    printf "ticks run:                             %d\n", n
    printf "mean tick period:                      %.3f ms\n", total * 1000 / n
    printf "longest tick period:                   %.3f ms at tick %d (target <= 25 ms: %s)\n", max, maxTick,
        max <= 25 ? "met" : "MISSED"
    printf "periods over 25 ms / under 15 ms:      %d / %d\n", over, early
    printf "longest tick 1 to 999, start to end:   %.3f ms\n", maxBusy
    printf "tick 1000 with the high-score table:   %.3f ms\n", lastBusy
}' "$work/timing.log"
