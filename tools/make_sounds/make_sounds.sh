#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Makes the game's nineteen sound cues into the folder given (assets/ by
# default): spoken lines with flite and festival's HTS voice, effects with sox. Every file is
# 16-bit PCM, mono, 22050 Hz, faded in and out so it starts and ends without
# a click, and normalised to a peak of -1 dBFS. sox runs in repeatable mode
# and without dither, so running this again writes the same bytes.
set -eu
out="${1:-$(dirname "$0")/../../assets}"
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

RATE=22050
SOX="sox -R -D -V1"

# Loudness is levelled on RMS: speech is compressed so that its words come
# up to the level of the effects, and a dense effect louder than LOUDEST is
# turned down to it, so that no cue is much louder than another.
LOUDEST=-13

# finish IN NAME [trim]: fades, normalises, levels and writes the cue;
# "trim" first cuts the silence a voice leaves around its line.
finish() {
    if [ "${3:-}" = trim ]; then
        $SOX "$1" -r $RATE -c 1 -b 16 -e signed-integer "$tmp/shaped.wav" \
            silence 1 0.005 0.5% reverse silence 1 0.005 0.5% reverse \
            compand 0.005,0.12 6:-80,-80,-50,-26,-30,-14,-10,-7,0,-4 -2
    else
        $SOX "$1" -r $RATE -c 1 -b 16 -e signed-integer "$tmp/shaped.wav"
    fi
    $SOX "$tmp/shaped.wav" -b 16 "$tmp/normal.wav" fade t 0.004 0 0.012 norm -1
    rms=$(sox "$tmp/normal.wav" -n stats 2>&1 | awk '/RMS lev dB/ { print $4 }')
    cut=$(echo "$rms $LOUDEST" | awk '{ d = $2 - $1; print (d < 0 ? d : 0) }')
    $SOX "$tmp/normal.wav" -b 16 "$out/$2" gain "$cut"
}

# say NAME VOICE TEXT: one spoken line. VOICE is "flite NAME PITCH PACE
# [EFFECT...]", a CMU voice at a mean pitch in Hz and a pace (1 its own,
# more is slower), or "festival PACE [EFFECT...]", the HTS voice
# cmu_us_slt_arctic_hts; the sox effects after them shape the voice.
say() {
    name=$1 text=$3
    set -- $2
    case $1 in
        flite)
            flite -voice "$2" --setf int_f0_target_mean="$3" --setf duration_stretch="$4" -t "$text" -o "$tmp/said.wav"
            shift 4 ;;
        festival)
            echo "$text" | text2wave -eval "(voice_cmu_us_slt_arctic_hts)" \
                -eval "(Parameter.set 'Duration_Stretch $2)" -o "$tmp/said.wav"
            shift 2 ;;
    esac
    $SOX "$tmp/said.wav" "$tmp/voiced.wav" "$@"
    finish "$tmp/voiced.wav" "$name" trim
}

# The voices are the clearest Debian ships (tools/make_sounds/hear_lines.sh
# counts the words a speech recogniser gets); each character differs from
# the others in voice, pitch and pace, kept within what stays understood.

# The announcer, who opens each round: a deep, measured man's voice.
ANNOUNCER="flite rms 85 1.1"
say moideryou.wav   "$ANNOUNCER" "I'm gonna moider you!"
say knockbrains.wav "$ANNOUNCER" "I'll knock your brains out!"
say fault.wav       "$ANNOUNCER" "It's all your fault!"
say bare.wav        "$ANNOUNCER" "Bare knuckles, baby!"

# Character 0, the brown sewer rat: a higher, quick, gravelly wise guy.
RAT="flite rms 120 0.9 overdrive 2"
say WISEGUY.wav "$RAT" "Wise guy, eh?"
say C_whop1.wav "$RAT" "Whop! Right on the noggin!"
say Naaaaaa.wav "$RAT" "Naaaaaa, missed me!"

# Character 1, the violet know-all behind thick glasses: a slow, smooth,
# prim woman's voice.
PRIM="festival 1.2"
say fathead.wav  "$PRIM" "Hey, fat head!"
say vavavoo.wav  "$PRIM" "Va va voom!"
say CANTSEE.wav  "$PRIM" "I can't see a thing!"

# Character 2, the blue-grey jumper: a higher, brisker, reedier little voice.
SQUEAK="flite slt 200 1.0"
say no.wav       "$SQUEAK" "No! No! No!"
say hereiam.wav  "$SQUEAK" "Here I am!"
say meepmeep.wav "$SQUEAK" "Meep! Meep!"

# The hits: short and punchy, each its own kind of sound.
# A bright pop: a falling sine with a burst of noise on the attack.
$SOX -n "$tmp/a.wav" synth 0.14 sine 900-120 fade q 0 0.14 0.12 rate $RATE
$SOX -n "$tmp/b.wav" synth 0.03 whitenoise fade q 0 0.03 0.03 pad 0 0.11 rate $RATE
$SOX -m "$tmp/a.wav" "$tmp/b.wav" "$tmp/pop.wav"
finish "$tmp/pop.wav" whack_pop.wav
# A hollow bonk: a low square tone dropping fast, with a short tail.
$SOX -n "$tmp/bonk.wav" synth 0.22 square 260-90 lowpass 1200 fade q 0 0.22 0.2 rate $RATE
finish "$tmp/bonk.wav" whack_pop2.wav
# A flat slap: filtered noise, very short.
$SOX -n "$tmp/slap.wav" synth 0.1 pinknoise highpass 700 lowpass 5000 fade q 0.002 0.1 0.09 rate $RATE
finish "$tmp/slap.wav" whack_pop3.wav
# A bell-like plink: two high partials ringing away.
$SOX -n "$tmp/p1.wav" synth 0.32 sine 1760 fade l 0 0.32 0.31 rate $RATE
$SOX -n "$tmp/p2.wav" synth 0.32 sine 3520 fade l 0 0.32 0.25 vol 0.4 rate $RATE
$SOX -m "$tmp/p1.wav" "$tmp/p2.wav" "$tmp/plink.wav"
finish "$tmp/plink.wav" Plink.wav
# A springy boink: a rising, wobbling tone.
$SOX -n "$tmp/boink.wav" synth 0.34 sine 180-720 tremolo 18 60 fade q 0.004 0.34 0.1 rate $RATE
finish "$tmp/boink.wav" boink.wav

# First place: a short brass fanfare, up the chord and a long top note.
note() { $SOX -n "$tmp/$1.wav" synth "$2" square "$3" sine "$3" remix - lowpass 3000 fade q 0.01 "$2" 0.05 rate $RATE; }
note n1 0.16 523.25
note n2 0.16 659.25
note n3 0.16 783.99
note n4 0.6 1046.5
$SOX "$tmp/n1.wav" "$tmp/n2.wav" "$tmp/n3.wav" "$tmp/n4.wav" "$tmp/fanfare.wav" reverb 20
finish "$tmp/fanfare.wav" one.wav
