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
pids=""
cleanup() {
    for p in $pids; do kill -9 "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; tail -5 "$work/log"; exit 1; }
. "$(dirname "$0")/../serve.sh"
# start LIMIT COMMAND...: the server under prlimit --nofile=LIMIT; $pid and $url are its.
start() {
    limit=$1
    shift
    serve "$work/log" prlimit --nofile="$limit" "$server" --port=0 "$@"
    pid=$served url=$address
}

# Started as systemd starts a service with no limit of its own (soft 1024), the server raises
# its soft limit to the hard one.
start 1024:4096 --database="$work/raised.db"
grep -q "holds up to 4032 connections (open-file limit 4096, 64 kept" "$work/log" || fail "the limit was not raised"
kill -TERM "$pid"
wait "$pid" || true

start 256:256 --database="$work/world.db"
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
pids="$pids $!"
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

# At the cap (32 connections, with 96 descriptors): a newcomer takes the place of the
# connection that has waited longest for a request, never one in the middle of its request
# (its headers come, its body on its way); with every connection mid-request, the newcomer
# is answered 503 with Retry-After at once, and once they go the server serves again.
start 96:96 --database="$work/busy.db"
grep -q "holds up to 32 connections" "$work/log" || fail "the log does not say it holds 32"
python3 - "${url#http://}" <<'PY' || fail "at the cap"
import socket, sys, time
host, port = sys.argv[1].split(":")
connect = lambda: socket.create_connection((host, int(port)), timeout=2)
def closed(s):  # whether the server closed it (within 0.3 s)
    s.settimeout(0.3)
    try:
        return s.recv(1) == b""
    except (socket.timeout, OSError):
        return False
def ask(what):  # a newcomer's GET /api/top: its status line and headers, and how long they took
    start = time.monotonic()
    s = connect()
    s.sendall(b"GET /api/top HTTP/1.1\r\nHost: x\r\n\r\n")
    answer = s.recv(4096).decode("latin-1")
    s.close()
    took = time.monotonic() - start
    if took >= 1:
        sys.exit(f"{what}: answered after {took:.1f} s")
    return answer
body = b"POST /api/sessions/" + b"a" * 32 + b"/lines?from=0 HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\nb"
held = []
for i in range(32):
    held.append(connect())
    time.sleep(0.02)
mid = held[1:-1]  # the first and the last wait for a request
for s in mid:
    s.sendall(body)  # mid-request from now on
time.sleep(0.3)
if not ask("with one idle").startswith("HTTP/1.1 200"):
    sys.exit("the newcomer was not answered while an idle connection could make room")
if not closed(held[0]) or closed(held[-1]):
    sys.exit("the connection closed for the newcomer was not the one that had waited longest")
if any(closed(s) for s in mid[:3] + mid[-3:]):
    sys.exit("a connection in the middle of its request was closed for a newcomer")
last = connect()  # the newcomer's place, taken mid-request too, as the other idle one's
for s in (held[-1], last):
    s.sendall(body)
mid += [held[-1], last]
time.sleep(0.3)
busy = ask("at the cap")
if not busy.startswith("HTTP/1.1 503") or "Retry-After: 1" not in busy:
    sys.exit("the newcomer at a full server was answered: " + busy.splitlines()[0] if busy else "nothing")
for s in mid:
    s.close()
time.sleep(0.3)
if not ask("once they went").startswith("HTTP/1.1 200"):
    sys.exit("the server did not serve again once the connections went")
PY
metrics=$(curl -s "$url/metrics")
echo "$metrics" | grep -q '^bopatron_connections_dropped_total{reason="over-cap"} [1-9]' || fail "the busy answer was not counted: $metrics"
kill -TERM "$pid"
wait "$pid" || fail "SIGTERM did not end the server cleanly"
echo "PASS: 1000 idle connections and 50 slow headers with 256 descriptors: $n honest requests, the slowest $slowest s;" \
    "the server used $share of a core over ${elapsed%.*} s; at the cap the longest idle made room, and with none a newcomer was answered 503"
