# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Sourced by the shell tests that start servers (bopatron-server, the delaying
# proxy). serve LOG COMMAND...: starts COMMAND, a server that says "listening on
# http://HOST:PORT/" once it serves, in the background with its output in LOG,
# and waits for that while it runs, at most 20 s (a busy machine starts slowly). Sets $served (its PID, also added to $pids,
# which the test's clean-up stops) and $address (http://HOST:PORT). fail is the
# caller's.
serve() {
    s_log=$1
    shift
    "$@" >"$s_log" 2>&1 &
    served=$!
    pids="${pids:-} $served"
    for _ in $(seq 400); do grep -q "listening on" "$s_log" || ! kill -0 "$served" 2>/dev/null && break; sleep 0.05; done
    address=$(sed -n 's|.*listening on \(http://[^/]*\)/.*|\1|p' "$s_log")
    [ -n "$address" ] || fail "$(basename "$1") did not start: $(tail -3 "$s_log")"
}
