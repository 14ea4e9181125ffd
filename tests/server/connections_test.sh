#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# bopatron-server under a flood of connections, with 256 descriptors (soft and
# hard: it cannot raise them): 1000 connections opened and left idle and 50
# sending a header a byte a second, held for 20 s. Throughout, an honest
# client opening a new connection every quarter second is answered within 1 s,
# the server's processor time stays far below a core (it must not spin when
# descriptors run out), and its metrics say what it refused and shed.
# usage: connections_test.sh SERVER
set -eu
server=$1
work=$(mktemp -d)
pid="" attacker=""
cleanup() {
    [ -z "$attacker" ] || kill "$attacker" 2>/dev/null || true
    [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; tail -5 "$work/log"; exit 1; }

# Started as systemd starts a service with no limit of its own (soft 1024), the server raises
# its soft limit to the hard one.
prlimit --nofile=1024:4096 "$server" --port=0 --database="$work/raised.db" 2>"$work/log" &
pid=$!
for _ in $(seq 100); do grep -q "listening on" "$work/log" && break; sleep 0.05; done
grep -q "holds up to 4032 connections (open-file limit 4096, 64 kept" "$work/log" || fail "the limit was not raised"
kill -TERM "$pid"
wait "$pid" || true

prlimit --nofile=256:256 "$server" --port=0 --database="$work/world.db" 2>"$work/log" &
pid=$!
for _ in $(seq 100); do grep -q "listening on" "$work/log" && break; sleep 0.05; done
url=$(sed -n 's|.*listening on \(http://[^/]*\)/.*|\1|p' "$work/log")
[ -n "$url" ] || fail "the server did not start"
grep -q "holds up to 192 connections (open-file limit 256, 64 kept" "$work/log" || fail "the log does not say what it holds"

python3 - "${url#http://}" >"$work/attack.out" 2>&1 <<'PY' &
import resource, socket, sys, time
host, port = sys.argv[1].split(":")
hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
idle, slow = [], []
for i in range(1050):
    try:
        s = socket.create_connection((host, int(port)), timeout=2)
    except OSError:
        continue
    (slow if i % 21 == 0 else idle).append(s)
header = b"GET /api/top HTTP/1.1\r\nHost: x\r\n\r\n"
print("opened", len(idle), "idle and", len(slow), "slow", flush=True)
for second in range(22):
    for s in slow:
        try:
            s.send(header[second:second + 1])
        except OSError:
            pass
    time.sleep(1)
PY
attacker=$!
for _ in $(seq 100); do grep -q opened "$work/attack.out" && break; sleep 0.1; done
grep -q opened "$work/attack.out" || fail "the attack did not start: $(cat "$work/attack.out")"

# The server's processor time, in clock ticks (utime + stime).
cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(cpu)
start=$(date +%s.%N)
slowest=0 n=0
while [ "$n" -lt 80 ]; do
    took=$(curl -s -o /dev/null -w '%{http_code} %{time_total}' --max-time 5 "$url/api/top") || true
    case "$took" in "200 "*) ;; *) fail "the honest client was answered '$took' after $n requests" ;; esac
    slowest=$(echo "$slowest ${took#* }" | awk '{ print ($2 > $1) ? $2 : $1 }')
    n=$((n + 1))
    sleep 0.25
done
elapsed=$(echo "$start $(date +%s.%N)" | awk '{ print $2 - $1 }')
share=$(echo "$before $(cpu) $(getconf CLK_TCK) $elapsed" | awk '{ printf "%.3f", ($2 - $1) / $3 / $4 }')
echo "$slowest" | awk '{ exit !($1 < 1) }' || fail "the slowest honest answer took $slowest s"
echo "$share" | awk '{ exit !($1 < 0.2) }' || fail "the server used $share of a core"
metrics=$(curl -s "$url/metrics")
# 1050 opened, 192 held: every newcomer beyond took the place of the one waiting longest.
echo "$metrics" | grep -q '^bopatron_connections_dropped_total{reason="shed"} [89][0-9][0-9]$' || fail "not shed for newcomers: $metrics"
echo "$metrics" | grep -q '^bopatron_connections_dropped_total{reason="timeout"} [1-9]' || fail "none timed out: $metrics"
echo "$metrics" | grep -q '^bopatron_connections [0-9]' || fail "no count of connections"
kill -TERM "$pid"
wait "$pid" || fail "SIGTERM did not end the server cleanly"
pid=""
echo "PASS: 1000 idle connections and 50 slow headers with 256 descriptors: $n honest requests, the slowest $slowest s;" \
    "the server used $share of a core over ${elapsed%.*} s"
