#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# bopatron-server as a real process on a free port with a real SQLite file:
# - its command line: --help, --version, and bad options exit 2 with one line;
# - the static site: types, no listing, nothing outside the folder;
# - a round recorded by the bot with the server's seed, streamed at the game's
#   pace, is placed; the board and the record's demo give its score, and the
#   headless player plays that demo to exit 0;
# - killed with -9 and started again it has lost nothing it answered; check
#   finds every record still matching; remove takes one off the boards;
# - SIGTERM lets a request in flight finish and closes the database;
# - a full disk and a read-only database answer 503 and corrupt nothing.
# usage: server_test.sh SERVER RECORD_DEMOS TIMEDEMO
set -eu
server=$1 record_demos=$2 timedemo=$3
here=$(dirname "$0")
work=$(mktemp -d)
chmod 755 "$work"
pid=""
cleanup() { [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/log" ] && tail -5 "$work/log"; exit 1; }
db="$work/world.db"

# start [LIMIT_PREFIX...]: starts the server on a free port; $url is its address.
start() {
    : >"$work/log"
    "$@" "$server" --port=0 --database="$db" --site="$work/site" 2>"$work/log" &
    pid=$!
    for _ in $(seq 100); do grep -q "listening on" "$work/log" && break; sleep 0.05; done
    url=$(sed -n 's|.*listening on \(http://[^/]*\)/.*|\1|p' "$work/log")
    [ -n "$url" ] || fail "the server did not start"
}
status() { curl -s -o "$work/body" -w '%{http_code}' "$@"; }

# The command line.
"$server" --help | grep -q -- "--database=PATH" || fail "--help"
[ "$("$server" --version)" = "bopatron-server 1.0.0" ] || fail "--version"
for bad in --port=99999 --port=x --bogus --site=/no/such/folder "remove x"; do
    # shellcheck disable=SC2086
    out=$("$server" $bad 2>&1) && code=0 || code=$?
    [ "$code" = 2 ] && [ "$(echo "$out" | wc -l)" = 1 ] || fail "'$bad' exits $code with: $out"
done

# The static site.
mkdir -p "$work/site/empty" "$work/site/sub"
echo '<p>page' >"$work/site/index.html"
echo 'x' >"$work/site/app.js"
printf '\0asm' >"$work/site/bopatron.wasm"
echo 'secret' >"$work/secret.txt"
ln -s "$work/secret.txt" "$work/site/sub/link.txt"
start
for case in "/ 200 text/html" "/app.js 200 text/javascript" "/bopatron.wasm 200 application/wasm" \
    "/empty/ 404 text/plain" "/../secret.txt 404 text/plain" "/%2e%2e/secret.txt 404 text/plain" \
    "/sub/link.txt 404 text/plain" "/nothing 404 text/plain"; do
    set -- $case
    got=$(curl -s --path-as-is -o "$work/body" -w '%{http_code} %{content_type}' "$url$1")
    case "$got" in "$2 $3"*) ;; *) fail "$1 answered $got, not $2 $3" ;; esac
    ! grep -q secret "$work/body" || fail "$1 gave a file outside the site"
done

# A round at the game's pace, placed.
session=$(curl -s -X POST "$url/api/sessions")
id=$(echo "$session" | sed 's/.*"session":"\([0-9a-f]*\)".*/\1/')
seed=$(echo "$session" | sed 's/.*"seed":"\([0-9]*\)".*/\1/')
"$record_demos" "$(dirname "$timedemo")" --round "$seed" BOT "$work/round.dem"
grep -q "^seed $seed\$" "$work/round.dem" || fail "the bot's demo does not use the server's seed"
placed=$(sed -n 's/^table read "\\"BOT\\",\([0-9-]*\).*/\1/p' "$work/round.dem" | head -1)
[ -n "$placed" ] || fail "the bot's round was not placed in its own table"
verdict=$(node "$here/stream.mjs" "$url" "$id" "$work/round.dem" "$placed")
echo "$verdict" | grep -q '"placed":true' || fail "verdict: $verdict"
record=$(echo "$verdict" | sed 's/.*"record":\([0-9]*\).*/\1/')
top=$(curl -s "$url/api/top?board=today")
echo "$top" | grep -q "\"initials\":\"BOT\".*\"score\":$placed" || fail "the board: $top"
grep -q "verdict: session ${id%????????????????????????} round 1 placed as record $record with $placed" "$work/log" || fail "no verdict logged"
curl -s "$url/api/records/$record/demo" >"$work/record.dem"
out=$("$timedemo" "$work/record.dem") || fail "the record's demo does not play: $out"
score=$(echo "$out" | sed 's/.*score=\([0-9-]*\).*/\1/')
[ "$score" -le "$placed" ] && [ $(((placed - score) % 20)) = 0 ] || fail "the record's demo scores $score, placed $placed"
! grep -q "$id" "$work/log" || fail "a session's whole id was logged"

# Killed with -9: nothing answered is lost.
before=$(curl -s "$url/api/top"; md5sum <"$work/record.dem")
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
start
after=$(curl -s "$url/api/top"; curl -s "$url/api/records/$record/demo" | md5sum)
[ "$after" = "$before" ] || fail "after kill -9: $after, before: $before"
[ "$(status -X POST "$url/api/sessions/$id/lines?from=0" --data-binary @"$work/round.dem")" = 200 ] || fail "the session did not survive"
kill -TERM "$pid"
wait "$pid" || fail "SIGTERM did not end the server cleanly"
grep -q "stopped; the database is closed" "$work/log" || fail "no clean stop"

# check and remove.
out=$("$server" check --database="$db") || fail "check: $out"
[ "$out" = "1 records checked, 0 no longer match" ] || fail "check printed: $out"
"$server" remove "$record" --database="$db" >/dev/null || fail "remove"
start
[ "$(curl -s "$url/api/top")" = "[]" ] || fail "a removed record is on the board"
[ "$(status "$url/api/records/$record")" = 404 ] || fail "a removed record is shown"

# SIGTERM with a replay in flight: its answer still comes.
curl -s -X POST "$url/api/sessions/$id/lines?from=9999999&round=1&score=$placed" -o "$work/inflight" -w '%{http_code}' >"$work/code" &
curlpid=$!
sleep 0.05
kill -TERM "$pid"
wait "$curlpid"
wait "$pid" || fail "SIGTERM with a request in flight"
[ "$(cat "$work/code")" = 409 ] || fail "the request in flight was answered $(cat "$work/code")"

# A full disk: writes past 2 MB fail; answers are 503, what was stored stays.
sums=$(sqlite3 "$db" "SELECT count(*), sum(length(text)) FROM batches")
start sh -c 'ulimit -f 4096; exec "$@"' limit
big=$(awk 'BEGIN { while (n++ < 20000) print "tick" }')
code=200 n=0
while [ "$code" = 200 ] && [ $n -lt 100 ]; do
    from=$(curl -s -X POST "$url/api/sessions" | sed 's/.*"session":"\([0-9a-f]*\)".*/\1/')
    code=$(printf 'bopatron-demo 1\n%s\n' "$big" | status -X POST "$url/api/sessions/$from/lines?from=0" --data-binary @-)
    [ "$code" = 000 ] && code=$(status -X POST "$url/api/sessions")
    n=$((n + 1))
done
[ "$code" = 503 ] || fail "a full disk answered $code: $(cat "$work/body")"
grep -q '"error":"unavailable"' "$work/body" || fail "no message for a full disk: $(cat "$work/body")"
[ "$(status "$url/api/top")" = 200 ] || fail "the boards are not read on a full disk"
kill -TERM "$pid"
wait "$pid" || true
[ "$(sqlite3 "$db" "PRAGMA integrity_check")" = ok ] || fail "the database is damaged"
[ "$(sqlite3 "$db" "SELECT count(*) FROM batches WHERE session = '$id'")" -ge 1 ] || fail "stored batches were lost"
start
[ "$(status -X POST "$url/api/sessions")" = 200 ] || fail "service did not resume when space returned"
kill -TERM "$pid"
wait "$pid" || true

# A read-only database, as an ordinary user: the boards are served, writes are 503, the file is unchanged.
if id nobody >/dev/null 2>&1 && command -v setpriv >/dev/null; then
    chown -R nobody "$work"
    chmod 0444 "$db"
    sum=$(md5sum <"$db")
    start setpriv --reuid=nobody --regid=nogroup --clear-groups
    [ "$(status "$url/api/top")" = 200 ] || fail "a read-only database does not serve the boards"
    [ "$(status -X POST "$url/api/sessions")" = 503 ] || fail "a read-only database answered $(cat "$work/body")"
    kill -TERM "$pid"
    wait "$pid" || true
    [ "$(md5sum <"$db")" = "$sum" ] || fail "the read-only database changed"
fi
echo "PASS: command line, site, a round at the game's pace placed and watched, kill -9, check, remove, SIGTERM, full disk, read-only"
