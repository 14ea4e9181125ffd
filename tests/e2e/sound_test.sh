#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Plays the opening of a round in the real program under Xvfb with a
# PulseAudio null sink, records the sink's monitor and checks that the
# opening cue's audio really arrives. Where no sound server can run, the
# test is skipped (exit 77) and says why.
# usage: sound_test.sh PROGRAM
. "$(dirname "$0")/common.sh"
command -v pulseaudio >/dev/null && command -v parec >/dev/null || skip "pulseaudio or parec is not installed"
export XDG_RUNTIME_DIR="$work/run" HOME="$work"
mkdir -m 700 "$XDG_RUNTIME_DIR"
on_exit() { pulseaudio --kill; }
pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit -L "module-native-protocol-unix" \
    -L "module-null-sink sink_name=bopsink rate=44100 channels=2" 2>"$work/pulse.log" ||
    skip "the sound server does not start: $(tail -1 "$work/pulse.log")"
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink bopsink || skip "the sound server does not answer"

cp -r "$(dirname "$1")" "$work/game"
launch g "$work/game/$(basename "$1")"
parec --device=bopsink.monitor --format=s16le --rate=44100 --channels=2 --raw >"$work/rec.raw" &
pids="$pids $!"
sleep 0.3
new_round g 0
sleep 3
peak=$(sox -t raw -r 44100 -e signed-integer -b 16 -c 2 "$work/rec.raw" -n stats 2>&1 | awk '/Pk lev dB/ { print $4 }')
awk -v p="$peak" 'BEGIN { exit !(p != "-inf" && p > -30) }' || fail "the opening cue was not heard (peak $peak dBFS)"
echo "PASS: the opening cue reached the sound server (peak $peak dBFS)"
