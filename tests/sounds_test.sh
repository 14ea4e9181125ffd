#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Every cue the game can play is shipped, in the program folder too, and no
# other .wav; each is 16-bit PCM mono at 22050 Hz, starts and ends without a
# click, keeps to its length and level limits, and the generator remakes it
# byte for byte. Measured with sox.
# usage: sounds_test.sh ASSETS-FOLDER PROGRAM-FOLDER GENERATOR
set -eu
assets="$1"
program="$2"
generator="$3"
fail=0
bad() { echo "FAIL: $*"; fail=1; }

HITS="whack_pop.wav whack_pop2.wav whack_pop3.wav Plink.wav boink.wav"
LINES="moideryou.wav knockbrains.wav fault.wav bare.wav WISEGUY.wav C_whop1.wav Naaaaaa.wav
fathead.wav vavavoo.wav CANTSEE.wav no.wav hereiam.wav meepmeep.wav"
ALL="$HITS $LINES one.wav"

for folder in "$assets" "$program"; do
    for name in $ALL; do [ -f "$folder/$name" ] || bad "$folder/$name is missing"; done
    for file in "$folder"/*.wav; do
        name=$(basename "$file")
        case " $(echo $ALL) " in *" $name "*) ;; *) bad "stray cue $file" ;; esac
    done
done

for name in $ALL; do
    file="$assets/$name"
    [ "$(soxi -c "$file")" = 1 ] || bad "$name is not mono"
    [ "$(soxi -r "$file")" = 22050 ] || bad "$name is not 22050 Hz"
    [ "$(soxi -b "$file")" = 16 ] || bad "$name is not 16-bit"
    soxi -e "$file" | grep -q "Signed Integer PCM" || bad "$name is not signed PCM"
    seconds=$(soxi -D "$file")
    case " $HITS " in
        *" $name "*) limit=0.4 ;;
        *) limit=2.5 ;;
    esac
    awk -v s="$seconds" -v l="$limit" 'BEGIN { exit !(s > 0.05 && s < l) }' || bad "$name lasts $seconds s (limit $limit)"
    stats=$(sox "$file" -n stats 2>&1)
    peak=$(echo "$stats" | awk '/Pk lev dB/ { print $4 }')
    rms=$(echo "$stats" | awk '/RMS lev dB/ { print $4 }')
    # Peaks at about -1 dBFS (dense tones a little lower, to keep them level
    # with the voices), and every cue within a few dB of the others.
    awk -v p="$peak" 'BEGIN { exit !(p <= -0.9 && p >= -12) }' || bad "$name peaks at $peak dBFS"
    awk -v r="$rms" 'BEGIN { exit !(r <= -12.5 && r >= -21) }' || bad "$name has an RMS level of $rms dBFS"
    # No click: the first and last half millisecond stay quiet.
    head=$(sox "$file" -n trim 0 0.0005 stats 2>&1 | awk '/Pk lev dB/ { print $4 }')
    tail=$(sox "$file" -n reverse trim 0 0.0005 stats 2>&1 | awk '/Pk lev dB/ { print $4 }')
    for edge in "$head" "$tail"; do
        awk -v e="$edge" 'BEGIN { exit !(e == "-inf" || e < -20) }' || bad "$name has a click ($edge dBFS at an end)"
    done
done

remade=$(mktemp -d)
trap 'rm -rf "$remade"' EXIT
"$generator" "$remade" >/dev/null 2>&1 || bad "the generator failed"
for name in $ALL; do cmp -s "$remade/$name" "$assets/$name" || bad "$name is not what the generator makes"; done

[ $fail = 0 ] && echo "PASS: 19 cues"
exit $fail
