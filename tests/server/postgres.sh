#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# A scratch PostgreSQL for the tests, reached only through a socket in its own
# folder, run by the unprivileged postgres user when started as root.
#   postgres.sh start   prints BOPATRON_TEST_POSTGRES=URL and BOPATRON_TEST_POSTGRES_DIR=DIR
#   postgres.sh stop DIR
#   postgres.sh restart DIR   stops it, waits a second and starts it again
set -eu
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
as() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
run_server() {
    as "$bin/pg_ctl" -D "$1/data" -l "$1/server.log" -w \
        -o "-c listen_addresses='' -k $1 -c fsync=on -c max_connections=200" start >/dev/null
}
case "${1:-}" in
start)
    dir=$(mktemp -d /tmp/bopatron-pg-XXXXXX)
    chmod 755 "$dir"
    [ "$(id -u)" = 0 ] && chown postgres "$dir"
    as "$bin/initdb" -D "$dir/data" -U postgres --auth=trust -E UTF8 --locale=C >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log" >&2; exit 1; }
    run_server "$dir" || { cat "$dir/server.log" >&2; exit 1; }
    echo "BOPATRON_TEST_POSTGRES='postgresql:///postgres?host=$dir&user=postgres'"
    echo "BOPATRON_TEST_POSTGRES_DIR=$dir"
    ;;
stop)
    as "$bin/pg_ctl" -D "$2/data" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$2"
    ;;
restart)
    # Down for a second: every connection is cut, and new ones are refused meanwhile.
    as "$bin/pg_ctl" -D "$2/data" -m fast -w stop >/dev/null
    sleep 1
    run_server "$2"
    ;;
*)
    echo "usage: postgres.sh start | stop DIR | restart DIR" >&2
    exit 2
    ;;
esac
