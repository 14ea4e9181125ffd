#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Two bopatron-server processes on one PostgreSQL, behind Debian's nginx with
# the round-robin configuration docs/WORLD.md gives, act as one table: a bot's
# round streamed through nginx at the game's pace reaches both servers and is
# placed; both servers show the same boards; the closing batch sent again to
# both servers at once (a client that retried) places the round once, and both
# answer with that one record; behind nginx the limit on new sessions is per
# player. Then, under the load of 40 players streaming rounds: one server is
# killed with -9 (nginx takes its players to the other), and PostgreSQL
# restarts (the servers answer 503 meanwhile and connect again by themselves);
# every player finishes, and every line and record answered is in the database.
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

# A round through nginx, placed.
play_round "$url"
short=$(echo "$id" | cut -c1-8)
for n in 1 2; do
    grep -q "/api/sessions/$short" "$work/log$n" || fail "server $n took none of the session's batches"
done

# One table: the same boards from either server.
a=$(curl -s "http://127.0.0.1:$port1/api/top")
b=$(curl -s "http://127.0.0.1:$port2/api/top")
[ "$a" = "$b" ] && echo "$a" | grep -q "\"record\":$record" || fail "the boards differ: $a / $b"

# Behind nginx a session counts against the player's address, which nginx forwards
# (each server keeps its own count: 61 through nginx give each server 30 and one more);
# a header sent straight to a server by anyone but nginx is ignored.
sessions() { n=$1; shift; for _ in $(seq "$n"); do curl -s -o /dev/null -w "%{http_code}\n" -X POST "$@"; done | sort | uniq -c | tr -s " " | paste -sd" "; }
got=$(sessions 61 --interface 127.0.0.50 "$url/api/sessions")
[ "$got" = " 60 200  1 429" ] || fail "nginx's forwarded address is not limited on its own"
[ "$(sessions 31 --interface 127.0.0.51 -H 'X-Forwarded-For: 127.0.0.52' "http://127.0.0.1:$port1/api/sessions")" = " 30 200  1 429" ] ||
    fail "a forged X-Forwarded-For was believed"
[ "$(curl -s -o /dev/null -w '%{http_code}' --interface 127.0.0.53 -X POST "$url/api/sessions")" = 200 ] || fail "one player's limit held another"

# The closing batch again, to both servers at once: one record, the same verdict from each.
lines=$(wc -l <"$work/0.dem")
from=$((lines - 3))
tail -n 3 "$work/0.dem" >"$work/close.txt"
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

# Players under load (bench/world_load.mjs, 40 of them from 127.0.0.2 and .3)
# while a fault strikes 8 s in, mid-round: every player finishes its round,
# and every line and record the table answered is in the database.
load() {
    node "$here/../../bench/world_load.mjs" --url="$url" --players=40 --spread=4000 --addresses=20 --first-address="$1" \
        --record-demos="$record_demos" --program="$(dirname "$timedemo")" --answers="$work/answers.json" \
        >"$work/load.json" 2>"$work/load.log" &
    loader=$!
    # The players start once each has its demo.
    for _ in $(seq 300); do grep -q streaming "$work/load.log" && break; sleep 0.1; done
    sleep 8
}
finish() {
    wait "$loader" || fail "the load did not run: $(cat "$work/load.json" "$work/load.log")"
    grep -q '"failedPlayers":0' "$work/load.json" || fail "players gave up: $(cat "$work/load.json")"
    answered_in_database "$work/answers.json" sql
}

# kill -9 one of the two: nginx takes the players to the other, which carries on.
load 2
kill -9 "$pid_1"
killed_at=$(wc -l <"$work/log2")
finish
[ "$(tail -n +"$killed_at" "$work/log2" | grep -c "lines 200")" -gt 100 ] || fail "server 2 did not carry the players"
echo "kill -9 of one server: $(cat "$work/load.json" | head -c 200)"
echo "  answered lines and records, all in the database: $(cat "$work/counts")"

# PostgreSQL restarts: 503 meanwhile, then the same servers go on by themselves.
start_server 1 "$db" "$port1"
load 4
"$here/postgres.sh" restart "$BOPATRON_TEST_POSTGRES_DIR"
finish
grep -q '"503":' "$work/load.json" || fail "no batch was refused while PostgreSQL restarted: $(cat "$work/load.json")"
echo "PostgreSQL restarted: $(cat "$work/load.json" | head -c 200)"
echo "  answered lines and records, all in the database: $(cat "$work/counts")"
echo "PASS: two servers on one PostgreSQL behind nginx are one table; kill -9 of one and a PostgreSQL restart under load lost nothing answered"
