#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Whether the tests left processes behind (servers, proxies, PostgreSQL,
# nginx, Xvfb, browsers, load drivers), whoever runs them.
#   leftover_processes.sh snapshot FILE     writes the processes running now to FILE
#   leftover_processes.sh check FILE ROOT   fails, naming each, on a process that was not in
#                                           FILE, is still running after a few seconds, and is
#                                           ROOT's (the test run's shell) or an orphan (a process
#                                           whose parent ended is adopted by PID 1): what the
#                                           machine itself starts meanwhile is neither
set -eu
# Every process but kernel threads (kthreadd, PID 2, and its children) and this script with
# its own children; with a root, only its descendants and orphans.
list() {
    ps -eo pid=,ppid=,args= | awk -v me=$$ -v root="${1:-}" '
        { parent[$1] = $2; line[$1] = $0 }
        END {
            for (p in line) {
                q = p
                while (q > 2 && q != me && q != root) q = parent[q]
                if (q == 2 || q == me || p == 2) continue
                if (root == "" || q == root || parent[p] == 1) print line[p]
            }
        }'
}
case "${1:-}" in
snapshot) list | awk '{ print $1 }' >"$2" ;;
check)
    # A process being stopped may take a moment to go.
    for _ in $(seq 20); do
        left=$(list "${3:-}" | awk 'NR == FNR { before[$1] = 1; next } !($1 in before)' "$2" -)
        [ -z "$left" ] && exit 0
        sleep 0.25
    done
    echo "FAIL: the tests left these processes running:"
    echo "$left"
    exit 1
    ;;
*)
    echo "usage: leftover_processes.sh snapshot FILE | check FILE [ROOT]" >&2
    exit 2
    ;;
esac
