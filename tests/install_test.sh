#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Installs the game into a temporary prefix, checks the desktop entry, the
# AppStream metadata and the launcher, makes the program folder read-only,
# and plays a whole round as an ordinary user under Xvfb: the placed score
# must land in that player's own table and the installed files must not change.
# usage: install_test.sh BUILD-FOLDER
set -eu
build="$1"
work=$(mktemp -d)
chmod 755 "$work"
cleanup() {
    [ -n "${game:-}" ] && kill "$game" 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
desktop-file-validate "$prefix/share/applications/io.github.bopatron.Bopatron.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$prefix/share/metainfo/io.github.bopatron.Bopatron.metainfo.xml" >/dev/null ||
    fail "AppStream metadata"
for size in 16 32 48 64 128 256; do
    [ -f "$prefix/share/icons/hicolor/${size}x$size/apps/bopatron.png" ] || fail "no $size px icon"
done
[ "$("$prefix/games/bopatron" --version)" = "Bopatron 1.00" ] || fail "the installed program does not start"
[ -f "$prefix/share/games/bopatron/whack_img.spr" ] || fail "no data in share/games/bopatron"
[ -f "$prefix/share/man/man6/bopatron.6.gz" ] || fail "no manual page"

chmod -R a-w "$prefix"
(cd "$prefix" && find . -type f -exec sha256sum {} + | sort) >"$work/before.sums"

# An ordinary player: nobody, with a home of its own.
id nobody >/dev/null 2>&1 || { echo "SKIPPED: no user 'nobody' to play as"; exit 77; }
command -v setpriv >/dev/null || { echo "SKIPPED: setpriv is missing"; exit 77; }
mkdir -p "$work/home"
chown nobody "$work/home"
. "$(dirname "$0")/e2e/common.sh"
start_xvfb -ac  # any user may draw on it
setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -u QT_QPA_PLATFORM -u XDG_DATA_HOME -u XDG_RUNTIME_DIR HOME="$work/home" \
    "$prefix/games/bopatron" >"$work/log" 2>&1 &
game=$!
window=""
for _ in $(seq 100); do
    window=$(xdotool search --name '^Bopatron$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { cat "$work/log"; fail "no window"; }
sleep 0.5
xdotool mousemove --window "$window" 40 22 click 1
sleep 0.8
xdotool type 0
xdotool key Return

play_blindly 1
[ -n "$box" ] || { cat "$work/log"; fail "no Top 5 box after the round"; }
xdotool type NBY
xdotool key Return
sleep 1

table="$work/home/.local/share/Bopatron/Scores.txt"
[ -f "$table" ] || { cat "$work/log"; fail "no per-player table at $table"; }
grep -q '"NBY"' "$table" || fail "the placed score is not in the player's table: $(cat "$table")"
[ "$(wc -l <"$table")" = 5 ] || fail "the player's table does not hold five records"
(cd "$prefix" && find . -type f -exec sha256sum {} + | sort) >"$work/after.sums"
cmp -s "$work/before.sums" "$work/after.sums" || fail "the installed files changed"
echo "PASS: installed, validated, and a placed score kept in the player's own table"
