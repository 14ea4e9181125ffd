#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Two bopatron-server processes on one PostgreSQL, behind Debian's nginx with
# the round-robin configuration docs/WORLD.md gives, act as one table. Behind
# nginx the limits on a client are per player, and the table's: two servers, one
# of them restarted, give one address what one server gives. 40 players stream rounds at
# the game's pace through nginx while one server is killed with -9: nginx
# takes its players to the other, every player finishes, and every line and
# record answered is in the database. Then: a round a player placed is on both
# servers' boards; its closing batch sent again to both servers at once (a
# client that retried) is answered by each with the one record. 40 players
# more while one server is stopped with SIGTERM: it drains, nginx moves its
# players on, and none has to send anything again. 40 more while PostgreSQL restarts: the servers answer 503 meanwhile, connect
# again by themselves, and nothing answered is missing.
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
. "$here/cluster.sh"
BOPATRON_TEST_POSTGRES_DIR=""
cleanup() {
    stop_cluster
    [ -z "$BOPATRON_TEST_POSTGRES_DIR" ] || "$here/postgres.sh" stop "$BOPATRON_TEST_POSTGRES_DIR"
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "${got:-}"; tail -3 "$work"/log1 "$work"/log2 "$work"/error.log 2>/dev/null; exit 1; }
postgres=$("$here/postgres.sh" start) || fail "the scratch PostgreSQL did not start"
eval "$postgres"

schema="cluster_$$"
psql -q "$BOPATRON_TEST_POSTGRES" -c "CREATE SCHEMA $schema" || fail "no schema"
db="$BOPATRON_TEST_POSTGRES&options=-csearch_path%3D$schema"
sql() { psql -tA "$db" -c "$1"; }
start_server 1 "$db"
start_server 2 "$db"
start_front "$port_1" "$port_2"
port1=$port_1 port2=$port_2

# Behind nginx a session counts against the player's address, which nginx forwards, and
# both servers keep one count, in the database: 31 through nginx give 30 and one 429, as one
# server does, though one server is restarted between them; a header sent straight to a
# server by anyone but nginx is ignored.
codes() { sort | uniq -c | tr -s " " | paste -sd" "; }
sessions() { n=$1; shift; for _ in $(seq "$n"); do curl -s -o /dev/null -w "%{http_code}\n" -X POST "$@"; done | codes; }
got=$(sessions 20 --interface 127.0.0.50 "$url/api/sessions")
[ "$got" = " 20 200" ] || fail "20 sessions from one address were not given"
kill -TERM "$pid_1"
wait "$pid_1" 2>/dev/null || true
start_server 1 "$db" "$port1"
got=$(sessions 11 --interface 127.0.0.50 "$url/api/sessions")
[ "$got" = " 10 200  1 429" ] || fail "two servers, one restarted, gave one address other than 30 sessions"
# The site's security headers come through nginx as the servers send them.
got=$(curl -sI "$url/api/top")
for header in "content-security-policy: default-src 'self';.*frame-ancestors 'none'" "referrer-policy: no-referrer" "permissions-policy: "; do
    echo "$got" | grep -qi "^$header" || fail "nginx's answer lacks '$header'"
done
# Rounds in play: five sessions of one address ask a round each, over both servers; four are given.
ids=$(for _ in 1 2 3 4 5; do curl -s --interface 127.0.0.54 -X POST "$url/api/sessions" | sed 's/.*"session":"\([0-9a-f]*\)".*/\1/'; done)
got=$(for id in $ids; do curl -s -o /dev/null -w "%{http_code}\n" --interface 127.0.0.54 -X POST "$url/api/sessions/$id/rounds"; done | codes)
[ "$got" = " 4 200  1 429" ] || fail "two servers gave one address other than 4 rounds in play"
got=$(for i in $(seq 31); do
    curl -s -o /dev/null -w "%{http_code}\n" --interface 127.0.0.51 -H "X-Forwarded-For: 10.0.0.$i" -X POST "http://127.0.0.1:$port1/api/sessions"
done | codes)
[ "$got" = " 30 200  1 429" ] || fail "a forged X-Forwarded-For was believed"
[ "$(curl -s -o /dev/null -w '%{http_code}' --interface 127.0.0.53 -X POST "$url/api/sessions")" = 200 ] || fail "one player's limit held another"

# Players under load (40 of them, two to an address from 127.0.0.FIRST) while a fault
# strikes 8 s in, mid-round: every player finishes its round, and every line and record the
# table answered is in the database.
load() {
    first=$1
    shift
    start_load "$url" --players=40 --first-address="$first" "$@"
}
finish() { finish_load sql; }

# kill -9 one of the two: nginx takes the players to the other, which carries on.
load 2 --keep="$work"
kill -9 "$pid_1"
cp "$work/log1" "$work/killed.log"
killed_at=$(wc -l <"$work/log2")
finish
[ "$(tail -n +"$killed_at" "$work/log2" | grep -c "lines 200")" -gt 100 ] || fail "server 2 did not carry the players"
echo "kill -9 of one server: $(cat "$work/load.json" | head -c 200)"
echo "  answered lines and records, all in the database: $(cat "$work/counts")"

# One table: the best round of that load is first on both servers' boards
# (server 1 started again), and both servers took batches of its session.
start_server 1 "$db" "$port1"
a=$(curl -s "http://127.0.0.1:$port1/api/top")
b=$(curl -s "http://127.0.0.1:$port2/api/top")
[ "$a" = "$b" ] || fail "the boards differ: $a / $b"
eval "$(node -e '
    const answers = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
    const best = JSON.parse(process.argv[2])[0]?.record;
    const p = answers.findIndex((a) => a.records.includes(best));
    console.log(p < 0 ? "player=" : `player=${p} id=${answers[p].session} record=${best} placed=${answers[p].scores[0]}`);
' "$work/answers.json" "$a")"
[ -n "$player" ] || fail "the best record on the board is no player's of the load: $a"
short=$(echo "$id" | cut -c1-8)
grep -q "/api/sessions/$short" "$work/log2" || fail "server 2 took none of the session's batches"
grep -q "lines 200" "$work/killed.log" || fail "server 1 took no batch before it was killed"

# The closing batch again, to both servers at once: one record, the same verdict from each.
lines=$(wc -l <"$work/$player.dem")
from=$((lines - 3))
tail -n 3 "$work/$player.dem" >"$work/close.txt"
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
count=$(sql "SELECT count(*) FROM records WHERE session = '$id'")
[ "$count" = 1 ] || fail "$count records for one round"

# SIGTERM one of the two under load: it answers 503 to what is new while what is in
# flight finishes, and nginx sends the players on to the other at once: nothing lost,
# and no player had to send anything again.
load 30
kill -TERM "$pid_1"
wait "$pid_1" || fail "SIGTERM did not end server 1 cleanly"
finish
grep -q '"retries":0,' "$work/load.json" || fail "players sent again while a server drained: $(cat "$work/load.json")"
grep -q "draining\|stopped; the database is closed" "$work/log1" || fail "server 1 did not stop cleanly: $(tail -3 "$work/log1")"
echo "a server drained: $(cat "$work/load.json" | head -c 200)"
start_server 1 "$db" "$port1"

# PostgreSQL restarts: 503 meanwhile, then the same servers go on by themselves.
# The players wait out the outage as the game does, for up to a minute: on a busy disk a
# restart, and nginx's ten seconds without a live server after each failure, can take longer
# than the half minute the other loads allow.
load 4 --retry-for=60000
"$here/postgres.sh" restart "$BOPATRON_TEST_POSTGRES_DIR"
finish
grep -q '"503":' "$work/load.json" || fail "no batch was refused while PostgreSQL restarted: $(cat "$work/load.json")"
echo "PostgreSQL restarted: $(cat "$work/load.json" | head -c 200)"
echo "  answered lines and records, all in the database: $(cat "$work/counts")"
echo "PASS: two servers on one PostgreSQL behind nginx are one table; kill -9 of one, SIGTERM of one and a PostgreSQL restart under load lost nothing answered"
