#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Installs the .deb with the system's package tools, starts the installed
# game under Xvfb, checks its window appears with every file found, and
# removes the package again.
# usage: package_test.sh DEB
deb=$(readlink -f "$1")
. "$(dirname "$0")/e2e/common.sh"
on_exit() { dpkg -r bopatron; }
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "the package does not depend on Qt"
# dpkg -i installs it; apt then brings any dependency a fresh system lacks.
dpkg -i "$deb" >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -f -y -q >/dev/null
dpkg -s bopatron | grep -q "Status: install ok installed" || fail "the package did not install"
[ "$(/usr/games/bopatron --version)" = "Bopatron 1.00" ] || fail "bopatron --version"
for f in usr/share/doc/bopatron/copyright usr/share/doc/bopatron/changelog.gz usr/share/man/man6/bopatron.6.gz; do
    [ -f "/$f" ] || fail "the package holds no $f"
done
launch g env -u QT_QPA_PLATFORM HOME="$work" /usr/games/bopatron
! grep "cannot be read\|is missing" "$work/log-g" || fail "the installed game misses a file"
echo "PASS: the .deb installs and its game starts"
