#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# How many words of the thirteen spoken cues a speech recogniser gets: each
# cue is resampled to 16 kHz mono and given to pocketsphinx with its US
# English model; a word of the line counts when the recogniser heard it.
# Words its dictionary lacks are spelt as it would write them: moider as
# murder, whop as wop, naaaaaa as nah, fathead as fat, va va voom as vo vo
# vroom, meep as meet.
# usage: tools/make_sounds/hear_lines.sh [ASSETS-FOLDER]
set -eu
assets="${1:-$(dirname "$0")/../../assets}"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
total=0
heard=0
while IFS='|' read -r file words; do
    sox "$assets/$file" -r 16000 -c 1 -b 16 "$tmp/line.wav"
    got=$(pocketsphinx_continuous -infile "$tmp/line.wav" -logfn /dev/null 2>/dev/null | tr '\n' ' ')
    n=$(printf '%s\n%s\n' "$words" "$got" | awk 'NR == 1 { for (i = 1; i <= NF; i++) want[i] = $i; w = NF }
        NR == 2 { for (i = 1; i <= NF; i++) have[$i]++ }
        END { for (i = 1; i <= w; i++) if (have[want[i]]-- > 0) n++; print n + 0 }')
    count=$(echo "$words" | wc -w)
    printf '%-16s %d of %d  heard: %s\n' "$file" "$n" "$count" "$got"
    total=$((total + count))
    heard=$((heard + n))
done <<'LINES'
moideryou.wav|i'm gonna murder you
knockbrains.wav|i'll knock your brains out
fault.wav|it's all your fault
bare.wav|bare knuckles baby
WISEGUY.wav|wise guy eh
C_whop1.wav|wop right on the noggin
Naaaaaa.wav|nah missed me
fathead.wav|hey fat
vavavoo.wav|vo vo vroom
CANTSEE.wav|i can't see a thing
no.wav|no no no
hereiam.wav|here i am
meepmeep.wav|meet meet
LINES
echo "total: $heard of $total words ($((100 * heard / total)) %)"
