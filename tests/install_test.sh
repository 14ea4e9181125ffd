#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Installs the game into a temporary prefix, checks the desktop entry, the
# AppStream metadata, the icons and the manual page, makes the prefix
# read-only, and plays a whole round as an ordinary user under Xvfb: the
# placed score must land in that player's own table and the installed files
# must not change.
# usage: install_test.sh BUILD-FOLDER
. "$(dirname "$0")/e2e/common.sh"
need_player
prefix="$work/prefix"
cmake --install "$1" --prefix "$prefix" >/dev/null
desktop-file-validate "$prefix/share/applications/io.github.bopatron.Bopatron.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$prefix/share/metainfo/io.github.bopatron.Bopatron.metainfo.xml" >/dev/null ||
    fail "AppStream metadata"
for file in icons/hicolor/16x16/apps/bopatron.png icons/hicolor/256x256/apps/bopatron.png \
    games/bopatron/whack_img.spr man/man6/bopatron.6.gz; do
    [ -f "$prefix/share/$file" ] || fail "no share/$file"
done
[ "$("$prefix/games/bopatron" --version)" = "Bopatron 1.00" ] || fail "the installed program does not start"

chmod -R a-w "$prefix"
(cd "$prefix" && find . -type f -exec sha256sum {} + | sort) >"$work/before.sums"
mkdir "$work/home"
chown nobody "$work/home"
launch g as_player "$work/home" "$prefix/games/bopatron"
new_round g 0
play_blindly g
answer g NBY
table="$work/home/.local/share/Bopatron/Scores.txt"
grep -q '"NBY"' "$table" || fail "the placed score is not in the player's table $table: $(cat "$work/log-g")"
[ "$(wc -l <"$table")" = 5 ] || fail "the player's table does not hold five records"
(cd "$prefix" && find . -type f -exec sha256sum {} + | sort) | cmp -s "$work/before.sums" - || fail "the installed files changed"
echo "PASS: installed, validated, and a placed score kept in the player's own table"
