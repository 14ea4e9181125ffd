#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Installs the .deb with the system's package tools and checks what it put
# in place: the desktop entry, the AppStream metadata, icons, the manual
# page, copyright and changelog. Then an ordinary user plays a whole round
# of the installed game under Xvfb: every file is found, the placed score
# lands in that player's own table, and no installed file changes. Removes
# the package again.
# usage: package_test.sh DEB
deb=$(readlink -f "$1")
. "$(dirname "$0")/e2e/common.sh"
need_player
on_exit() { dpkg -r bopatron; }
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "the package does not depend on Qt"
# dpkg -i installs it; apt then brings any dependency a fresh system lacks.
dpkg -i "$deb" >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -f -y -q >/dev/null
dpkg -s bopatron | grep -q "Status: install ok installed" || fail "the package did not install"
[ "$(/usr/games/bopatron --version)" = "Bopatron 1.00" ] || fail "bopatron --version"
for f in doc/bopatron/copyright doc/bopatron/changelog.gz man/man6/bopatron.6.gz games/bopatron/whack_img.spr \
    icons/hicolor/16x16/apps/bopatron.png icons/hicolor/256x256/apps/bopatron.png; do
    [ -f "/usr/share/$f" ] || fail "the package holds no /usr/share/$f"
done
desktop-file-validate /usr/share/applications/io.github.bopatron.Bopatron.desktop || fail "desktop entry"
appstreamcli validate --no-net /usr/share/metainfo/io.github.bopatron.Bopatron.metainfo.xml >/dev/null || fail "AppStream"

mkdir "$work/home"
chown nobody "$work/home"
launch g as_player "$work/home" /usr/games/bopatron
! grep "cannot be read\|is missing" "$work/log-g" || fail "the installed game misses a file"
new_round g 0
play_blindly g
answer g NBY
table="$work/home/.local/share/Bopatron/Scores.txt"
grep -q '"NBY"' "$table" || fail "the placed score is not in the player's table $table: $(cat "$work/log-g")"
[ "$(wc -l <"$table")" = 5 ] || fail "the player's table does not hold five records"
[ -z "$(dpkg --verify bopatron)" ] || fail "installed files changed: $(dpkg --verify bopatron)"
echo "PASS: the .deb installs, its files validate, and a player's score is kept in the player's own table"
