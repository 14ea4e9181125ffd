#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Every cue the game can play is shipped, in the program folder too, and no
# other .wav; each is 16-bit signed PCM mono at 22050 Hz, starts and ends
# without a click, keeps to its length and level limits, and the generator
# remakes it byte for byte. Measured with sox.
# usage: sounds_test.sh ASSETS-FOLDER PROGRAM-FOLDER GENERATOR
. "$(dirname "$0")/e2e/common.sh"
HITS="whack_pop.wav whack_pop2.wav whack_pop3.wav Plink.wav boink.wav"
ALL="$HITS moideryou.wav knockbrains.wav fault.wav bare.wav WISEGUY.wav C_whop1.wav Naaaaaa.wav fathead.wav
vavavoo.wav CANTSEE.wav no.wav hereiam.wav meepmeep.wav one.wav"
bad=""
for folder in "$1" "$2"; do
    [ "$(cd "$folder" && ls -- *.wav | sort)" = "$(printf '%s\n' $ALL | sort)" ] || bad="$bad; $folder holds other cues"
done
"$3" "$work" >/dev/null 2>&1 || bad="$bad; the generator failed"
peak() { sox "$@" stats 2>&1 | awk '/Pk lev dB/ { print $4 }'; }
for name in $ALL; do
    file="$1/$name"
    cmp -s "$work/$name" "$file" || bad="$bad; $name is not what the generator makes"
    [ "$(soxi -c "$file") $(soxi -r "$file") $(soxi -b "$file") $(soxi -e "$file")" = "1 22050 16 Signed Integer PCM" ] ||
        bad="$bad; $name is not 16-bit signed PCM mono at 22050 Hz"
    case " $HITS " in *" $name "*) limit=0.4 ;; *) limit=2.5 ;; esac
    # Peaks at about -1 dBFS (dense tones a little lower, to keep them level
    # with the voices), every cue within a few dB of the others, and no click:
    # the first and last half millisecond stay quiet.
    awk -v s="$(soxi -D "$file")" -v l="$limit" -v p="$(peak "$file" -n)" \
        -v r="$(sox "$file" -n stats 2>&1 | awk '/RMS lev dB/ { print $4 }')" \
        -v h="$(peak "$file" -n trim 0 0.0005)" -v t="$(peak "$file" -n reverse trim 0 0.0005)" \
        'BEGIN { exit !(s > 0.05 && s < l && p <= -0.9 && p >= -12 && r <= -12.5 && r >= -21 &&
                        (h == "-inf" || h < -20) && (t == "-inf" || t < -20)) }' ||
        bad="$bad; $name is out of its limits: $(soxi -D "$file") s, $(sox "$file" -n stats 2>&1 | grep -E 'Pk lev|RMS lev' | tr -s ' \n' ' ')"
done
[ -z "$bad" ] || fail "${bad#; }"
echo "PASS: 19 cues"
