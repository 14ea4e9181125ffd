#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Installs the bopatron-server .deb with the system's package tools: its system
# user, its state folder, the unit (checked by systemd-analyze), the options
# file, the manual page. Starts the service under systemd where the machine
# runs it, otherwise runs the unit's own command line as the unit's user; a
# bot's round streamed to it at the game's pace is placed and kept in
# /var/lib/bopatron-server. Then removes the package (the options and the
# table stay) and purges it (both go).
# usage: server_package_test.sh DEB RECORD_DEMOS TIMEDEMO
set -eu
deb=$(readlink -f "$1") record_demos=$2 timedemo=$3
here=$(dirname "$0")/server
unit=/lib/systemd/system/bopatron-server.service
work=$(mktemp -d)
pid=""
cleanup() {
    [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true
    dpkg --purge bopatron-server >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/log" ] && tail -5 "$work/log"; exit 1; }
. "$here/cluster.sh"

depends=$(dpkg-deb -f "$deb" Depends)
echo "$depends" | grep -q libpq5 || fail "the package does not depend on libpq: $depends"
! echo "$depends" | grep -q qt6 || fail "the server package pulls Qt: $depends"
dpkg -i "$deb" >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -f -y -q >/dev/null
dpkg -s bopatron-server | grep -q "Status: install ok installed" || fail "the package did not install"
[ "$(/usr/sbin/bopatron-server --version)" = "bopatron-server 1.0.0" ] || fail "bopatron-server --version"
for f in /usr/share/man/man8/bopatron-server.8.gz /usr/share/doc/bopatron-server/copyright \
    /usr/share/bopatron-server/Picbak.png /usr/share/bopatron-server/whack_img.spr "$unit" /etc/default/bopatron-server; do
    [ -f "$f" ] || fail "the package holds no $f"
done
[ -z "$(dpkg --verify bopatron-server)" ] || fail "installed files differ: $(dpkg --verify bopatron-server)"

# Its own system user, without a login, owning its state folder alone.
entry=$(getent passwd bopatron-server) || fail "no bopatron-server user"
uid=$(echo "$entry" | cut -d: -f3)
[ "$uid" -lt 1000 ] && echo "$entry" | grep -q ":/var/lib/bopatron-server:/usr/sbin/nologin$" || fail "the user is $entry"
[ "$(stat -c '%U %a' /var/lib/bopatron-server)" = "bopatron-server 750" ] || fail "the state folder is $(stat -c '%U %a' /var/lib/bopatron-server)"

# The unit: valid, hardened as promised.
if command -v systemd-analyze >/dev/null; then
    # It exits 0 on a key it does not know, and only warns: any warning fails here.
    systemd-analyze verify "$unit" 2>"$work/verify" && [ ! -s "$work/verify" ] || fail "systemd-analyze: $(cat "$work/verify")"
fi
for key in "User=bopatron-server" "ProtectSystem=strict" "NoNewPrivileges=yes" "CapabilityBoundingSet=$" \
    "StateDirectory=bopatron-server" "EnvironmentFile=-/etc/default/bopatron-server"; do
    grep -q "^$key" "$unit" || fail "the unit lacks $key"
done

# Started on a free port, as an operator would set it in /etc/default.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
sed -i "s/--port=8080/--port=$port/" /etc/default/bopatron-server
if [ -d /run/systemd/system ]; then
    systemctl restart bopatron-server || fail "systemctl restart: $(journalctl -u bopatron-server | tail -5)"
else
    # No systemd here: the unit's command line, with its options file and its open-file
    # limit (as far as this machine's own allows), as its user.
    # shellcheck disable=SC1091
    . /etc/default/bopatron-server
    command=$(sed -n 's/^ExecStart=//p' "$unit")
    files=$(sed -n 's/^LimitNOFILE=//p' "$unit")
    [ "$files" -le "$(ulimit -Hn)" ] || files=$(ulimit -Hn)
    (
        cd /
        # shellcheck disable=SC2086
        exec prlimit --nofile="$files:$files" setpriv --reuid=bopatron-server --regid=bopatron-server --init-groups --no-new-privs \
            env STATE_DIRECTORY=/var/lib/bopatron-server BOPATRON_SERVER_OPTIONS="$BOPATRON_SERVER_OPTIONS" \
            sh -c "umask 0027; exec $command"
    ) 2>"$work/log" &
    pid=$!
fi
url="http://127.0.0.1:$port"
for _ in $(seq 100); do curl -s -o /dev/null "$url/api/top" && break; sleep 0.05; done

play_round "$url"
if [ -n "$pid" ]; then
    grep -q "holds up to $((files - 64)) connections" "$work/log" || fail "the unit's open-file limit: $(head -3 "$work/log")"
fi
[ "$(stat -c %U /var/lib/bopatron-server/world.db)" = bopatron-server ] || fail "the table is not in /var/lib/bopatron-server"
if [ -n "$pid" ]; then
    kill -TERM "$pid"
    wait "$pid" || fail "the server did not stop cleanly"
    pid=""
    grep -q "stopped; the database is closed" "$work/log" || fail "no clean stop"
fi
[ "$(sqlite3 /var/lib/bopatron-server/world.db "SELECT score FROM records")" = "$placed" ] || fail "the record is not kept"

# Removed, the options and the table stay; purged, both go.
dpkg -r bopatron-server >/dev/null
[ ! -e /usr/sbin/bopatron-server ] && [ -f /etc/default/bopatron-server ] && [ -f /var/lib/bopatron-server/world.db ] ||
    fail "remove took the wrong files"
dpkg --purge bopatron-server >/dev/null
[ ! -e /etc/default/bopatron-server ] && [ ! -e /var/lib/bopatron-server ] || fail "purge left files behind"
echo "PASS: the bopatron-server .deb installs its user, unit and folder, serves a round as its own user, and removes cleanly"
