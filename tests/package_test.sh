#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Installs the .deb with the system's package tools, starts the installed
# game under Xvfb, checks its window appears, and removes the package again.
# usage: package_test.sh DEB
set -eu
deb=$(readlink -f "$1")
work=$(mktemp -d)
cleanup() {
    [ -n "${game:-}" ] && kill "$game" 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    dpkg -r bopatron >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "the package does not depend on Qt"
# dpkg -i installs it; apt then brings any dependency a fresh system lacks.
dpkg -i "$deb" >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -f -y -q >/dev/null
dpkg -s bopatron | grep -q "Status: install ok installed" || fail "the package did not install"
[ "$(/usr/games/bopatron --version)" = "Bopatron 1.00" ] || fail "bopatron --version"
for f in usr/share/doc/bopatron/copyright usr/share/doc/bopatron/changelog.gz usr/share/man/man6/bopatron.6.gz; do
    [ -f "/$f" ] || fail "the package holds no $f"
done

. "$(dirname "$0")/e2e/common.sh"
start_xvfb
env -u QT_QPA_PLATFORM HOME="$work" /usr/games/bopatron >"$work/log" 2>&1 &
game=$!
for _ in $(seq 100); do
    xdotool search --name '^Bopatron$' >/dev/null 2>&1 && break
    sleep 0.1
done
xdotool search --name '^Bopatron$' >/dev/null 2>&1 || { cat "$work/log"; fail "the installed game shows no window"; }
grep -q "cannot be read\|is missing" "$work/log" && { cat "$work/log"; fail "the installed game misses a file"; }
echo "PASS: the .deb installs and its game starts"
