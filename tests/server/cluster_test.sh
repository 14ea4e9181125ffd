#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Two bopatron-server processes on one PostgreSQL, behind Debian's nginx with
# the round-robin configuration docs/WORLD.md gives, act as one table: a bot's
# round streamed through nginx at the game's pace reaches both servers and is
# placed; both servers show the same boards; the closing batch sent again to
# both servers at once (a client that retried) places the round once, and both
# answer with that one record. Then PostgreSQL restarts while batches keep
# coming: the servers answer 503 meanwhile, connect again by themselves, and
# every batch they answered is in the database.
# The test runs a PostgreSQL of its own (tests/server/postgres.sh): it restarts it.
# usage: cluster_test.sh SERVER RECORD_DEMOS TIMEDEMO
set -eu
server=$1 record_demos=$2 timedemo=$3
here=$(dirname "$0")
if ! command -v nginx >/dev/null; then
    echo "SKIP: no nginx"
    exit 77
fi
work=$(mktemp -d)
chmod 755 "$work"
pids=""
BOPATRON_TEST_POSTGRES_DIR=""
cleanup() {
    for p in $pids; do kill -9 "$p" 2>/dev/null || true; done
    [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null
    [ -z "$BOPATRON_TEST_POSTGRES_DIR" ] || "$here/postgres.sh" stop "$BOPATRON_TEST_POSTGRES_DIR"
    rm -rf "$work"
}
trap cleanup EXIT
postgres=$("$here/postgres.sh" start) || fail "the scratch PostgreSQL did not start"
eval "$postgres"
fail() { echo "FAIL: $*"; tail -3 "$work"/log1 "$work"/log2 "$work"/error.log 2>/dev/null; exit 1; }

schema="cluster_$$"
psql -q "$BOPATRON_TEST_POSTGRES" -c "CREATE SCHEMA $schema" || fail "no schema"
db="$BOPATRON_TEST_POSTGRES&options=-csearch_path%3D$schema"
for n in 1 2; do
    "$server" --port=0 --database="$db" 2>"$work/log$n" &
    pids="$pids $!"
done
for n in 1 2; do
    for _ in $(seq 100); do grep -q "listening on" "$work/log$n" && break; sleep 0.05; done
    eval "port$n=\$(sed -n 's|.*listening on http://[^:]*:\([0-9]*\)/.*|\1|p' \"$work/log$n\")"
done
[ -n "$port1" ] && [ -n "$port2" ] || fail "the servers did not start"

# The configuration of docs/WORLD.md, with the test's ports and folders.
front=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
sed -n '/^```nginx$/,/^```$/p' "$here/../../docs/WORLD.md" | sed '1d;$d' >"$work/world.conf"
[ -s "$work/world.conf" ] || fail "docs/WORLD.md gives no nginx configuration"
sed -i "s/127.0.0.1:8081/127.0.0.1:$port1/; s/127.0.0.1:8082/127.0.0.1:$port2/; s/listen 80;/listen 127.0.0.1:$front;/" "$work/world.conf"
cat >"$work/nginx.conf" <<EOF
daemon on;
pid $work/nginx.pid;
error_log $work/error.log;
events {}
http {
    access_log off;
    client_body_temp_path $work/body;
    proxy_temp_path $work/proxy;
    include $work/world.conf;
}
EOF
nginx -q -p "$work" -c "$work/nginx.conf" 2>"$work/error.log" || fail "nginx did not start: $(cat "$work/error.log")"
url="http://127.0.0.1:$front"
for _ in $(seq 50); do curl -s -o /dev/null "$url/api/top" && break; sleep 0.1; done

# A round through nginx, placed.
session=$(curl -s -X POST "$url/api/sessions")
id=$(echo "$session" | sed 's/.*"session":"\([0-9a-f]*\)".*/\1/')
seed=$(echo "$session" | sed 's/.*"seed":"\([0-9]*\)".*/\1/')
[ -n "$seed" ] || fail "no session through nginx: $session"
"$record_demos" "$(dirname "$timedemo")" --round "$seed" BOT "$work/round.dem"
placed=$(sed -n 's/^table read "\\"BOT\\",\([0-9-]*\).*/\1/p' "$work/round.dem" | head -1)
verdict=$(node "$here/stream.mjs" "$url" "$id" "$work/round.dem" "$placed") || fail "streaming: $verdict"
echo "$verdict" | grep -q '"placed":true' || fail "verdict: $verdict"
record=$(echo "$verdict" | sed 's/.*"record":\([0-9]*\).*/\1/')
short=$(echo "$id" | cut -c1-8)
for n in 1 2; do
    grep -q "/api/sessions/$short" "$work/log$n" || fail "server $n took none of the session's batches"
done

# One table: the same boards from either server.
a=$(curl -s "http://127.0.0.1:$port1/api/top")
b=$(curl -s "http://127.0.0.1:$port2/api/top")
[ "$a" = "$b" ] && echo "$a" | grep -q "\"record\":$record" || fail "the boards differ: $a / $b"

# The closing batch again, to both servers at once: one record, the same verdict from each.
lines=$(wc -l <"$work/round.dem")
from=$((lines - 3))
tail -n 3 "$work/round.dem" >"$work/close.txt"
senders=""
for p in "$port1" "$port2"; do
    curl -s -X POST --data-binary @"$work/close.txt" \
        "http://127.0.0.1:$p/api/sessions/$id/lines?from=$from&round=1&score=$placed" >"$work/again$p" &
    senders="$senders $!"
done
for s in $senders; do wait "$s"; done
for p in "$port1" "$port2"; do
    grep -q "\"placed\":true.*\"record\":$record\|\"record\":$record.*\"placed\":true" "$work/again$p" || fail "the server on $p answered $(cat "$work/again$p")"
done
count=$(psql -tA "$BOPATRON_TEST_POSTGRES" -c "SELECT count(*) FROM $schema.records")
[ "$count" = 1 ] || fail "$count records for one round"

# PostgreSQL restarts under a stream of batches (a demo's first line, then
# ticks: lines are only stored until a claim): 503 meanwhile, then 200 again by itself.
session=$(curl -s -X POST "$url/api/sessions")
id=$(echo "$session" | sed 's/.*"session":"\([0-9a-f]*\)".*/\1/')
answered=0 refused=0 restarted=""
for i in $(seq 300); do
    line=tick
    [ "$answered" = 0 ] && line="bopatron-demo 1"
    code=$(curl -s -o "$work/answer" -w '%{http_code}' -X POST --data-binary "$line
" "$url/api/sessions/$id/lines?from=$answered")
    case "$code" in
    200) answered=$(sed 's/.*"lines":\([0-9]*\).*/\1/' "$work/answer") ;;
    503) refused=$((refused + 1)) ;;
    *) fail "a batch during the restart answered $code: $(cat "$work/answer")" ;;
    esac
    if [ "$i" = 50 ]; then
        "$here/postgres.sh" restart "$BOPATRON_TEST_POSTGRES_DIR" &
        restarted=$!
    fi
    [ -n "$restarted" ] && [ "$i" -gt 50 ] && [ "$code" = 200 ] && [ "$refused" -gt 0 ] && [ "$i" -gt 120 ] && break
    sleep 0.02
done
wait "$restarted"
[ "$refused" -gt 0 ] || fail "no batch was refused while PostgreSQL restarted"
[ "$code" = 200 ] || fail "the servers did not come back after the restart (last answer $code)"
held=$(psql -tA "$BOPATRON_TEST_POSTGRES" -c "SELECT lines FROM $schema.sessions WHERE id = '$id'")
[ "$held" = "$answered" ] || fail "the servers answered $answered lines, the database holds $held"
echo "PASS: two servers on one PostgreSQL behind nginx are one table; $refused batches got 503 while PostgreSQL restarted, none of $answered answered lines lost"
