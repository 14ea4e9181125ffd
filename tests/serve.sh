# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Sourced by the shell tests that start servers (bopatron-server, the delaying
# proxy). serve LOG COMMAND...: starts COMMAND, a server that says "listening on
# http://HOST:PORT/" once it serves, in the background with its output in LOG,
# and waits for that while it runs, at most 20 s (a busy machine starts slowly).
# Sets $served (its PID, also added to $pids, which the test's clean-up stops)
# and $address (http://HOST:PORT). fail is the caller's.
serve() {
    s_log=$1
    shift
    for s_try in 1 2; do
        "$@" >"$s_log" 2>&1 &
        served=$!
        pids="${pids:-} $served"
        for _ in $(seq 400); do grep -q "listening on" "$s_log" || ! kill -0 "$served" 2>/dev/null && break; sleep 0.05; done
        address=$(sed -n 's|.*listening on \(http://[^/]*\)/.*|\1|p' "$s_log")
        [ -n "$address" ] && return
        if kill -0 "$served" 2>/dev/null; then s_why="still starting after 20 s" && break; fi
        wait "$served" && s_status=0 || s_status=$?
        s_why="it ended with status $s_status"
        # Once, on a busy machine, a server ended at once having said nothing at all: it
        # is started again, once, and that is said; one that says why it ends is not.
        if [ -s "$s_log" ] || [ "$s_try" = 2 ]; then break; fi
        echo "NOTE: $(basename "$1") ended at once with status $s_status, saying nothing; started again"
    done
    fail "$(basename "$1") did not start ($s_why): $(tail -3 "$s_log")"
}
