#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Plays the opening of a round in the real program under Xvfb with a
# PulseAudio null sink, records the sink's monitor and checks that the
# opening cue's audio really arrives. Where no sound server can run, the
# test is skipped (exit 77) and says why.
# usage: sound_test.sh PROGRAM
set -eu
program="$1"
work=$(mktemp -d)
. "$(dirname "$0")/common.sh"
cleanup() {
    [ -n "${recorder:-}" ] && kill "$recorder" 2>/dev/null || true
    cleanup_game
    [ -n "${XDG_RUNTIME_DIR:-}" ] && pulseaudio --kill 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
skip() { echo "SKIPPED: $*"; exit 77; }

command -v pulseaudio >/dev/null || skip "pulseaudio is not installed"
command -v parec >/dev/null || skip "parec is not installed"
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export HOME="$work"
pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit \
    -L "module-null-sink sink_name=bopsink rate=44100 channels=2" \
    -L "module-native-protocol-unix" 2>"$work/pulse.log" || skip "the sound server does not start: $(tail -1 "$work/pulse.log")"
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || skip "the sound server does not answer"
pactl set-default-sink bopsink

start_game "$program"
sleep 1

parec --device=bopsink.monitor --format=s16le --rate=44100 --channels=2 --raw >"$work/rec.raw" &
recorder=$!
sleep 0.3
new_round 0
sleep 3
kill "$recorder"
recorder=""
sleep 0.2

peak=$(sox -t raw -r 44100 -e signed-integer -b 16 -c 2 "$work/rec.raw" -n stats 2>&1 | awk '/Pk lev dB/ { print $4 }')
echo "recorded $(wc -c <"$work/rec.raw") bytes, peak $peak dBFS"
awk -v p="$peak" 'BEGIN { exit !(p != "-inf" && p > -30) }' || { echo "FAIL: the opening cue was not heard"; cat "$work/log"; exit 1; }
echo "PASS: the opening cue reached the sound server"
