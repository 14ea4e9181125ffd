# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Sourced: starts bopatron-servers and, in front of them, Debian's nginx with
# the round-robin configuration docs/WORLD.md gives; plays rounds against
# them. Needs $server (the program), $work (a scratch folder) and $here (this
# folder), and for rounds $record_demos and $timedemo; the caller's cleanup
# calls stop_cluster. fail is the caller's.
. "$here/../serve.sh"

pids=""
# start_server N DATABASE [PORT]: server N in the background; sets pid_N and port_N.
start_server() {
    serve "$work/log$1" "$server" --port="${3:-0}" --database="$2" --trusted-proxy=127.0.0.1
    eval "pid_$1=$served port_$1=${address##*:}"
}

# start_front PORT1 PORT2: nginx on a free port over the two; sets $url.
start_front() {
    front=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    sed -n '/^```nginx$/,/^```$/p' "$here/../../docs/WORLD.md" | sed '1d;$d' >"$work/world.conf"
    [ -s "$work/world.conf" ] || fail "docs/WORLD.md gives no nginx configuration"
    sed -i "s/127.0.0.1:8081/127.0.0.1:$1/; s/127.0.0.1:8082/127.0.0.1:$2/; s/listen 80;/listen 127.0.0.1:$front;/" "$work/world.conf"
    cat >"$work/nginx.conf" <<EOF
daemon on;
pid $work/nginx.pid;
error_log $work/error.log;
worker_processes 1;
events { worker_connections 4096; }
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
}

# play_round URL [--player=KIND]: one player (bench/world_load.mjs) has the model of a
# person (or KIND) play a round for the seed the table gives and streams it at the
# game's pace, as the game does. Sets id, seed, placed (the round's score) and record
# (placed or held; empty when neither); the demo is $work/0.dem.
play_round() {
    node "$here/../../bench/world_load.mjs" --url="$1" --players=1 --spread=0 --record-demos="$record_demos" \
        --program="$(dirname "$timedemo")" --answers="$work/round.json" --keep="$work" ${2:+"$2"} >"$work/round.out" 2>&1 ||
        fail "the round did not stream: $(cat "$work/round.out")"
    eval "$(node -e '
        const [a] = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
        console.log(`id=${a.session} seed=${a.seed} placed=${a.scores[0]} record=${a.records[0] || a.held[0] || ""}`);
    ' "$work/round.json")"
    grep -q "^seed $seed\$" "$work/0.dem" || fail "the round's demo does not use the table's seed"
    [ "$(grep -c '^value ' "$work/0.dem")" = 20 ] || fail "the round was not played on its value and 19 parts"
    [ -n "$record" ] || fail "the round was not placed: $(cat "$work/round.out")"
}

# start_load URL WORLD_LOAD_OPTIONS...: players (bench/world_load.mjs) stream rounds at the
# game's pace to URL, starting within 4 s of each other once each has its demo; returns 8 s
# into their rounds, for a fault to strike mid-round. finish_load PSQL_OR_SQLITE... waits for
# them: every player finished its round, and every line and record the table answered is in
# the database (answered_in_database).
start_load() {
    l_url=$1
    shift
    node "$here/../../bench/world_load.mjs" --url="$l_url" --spread=4000 --record-demos="$record_demos" \
        --program="$(dirname "$timedemo")" --answers="$work/answers.json" "$@" >"$work/load.json" 2>"$work/load.log" &
    loader=$!
    pids="$pids $loader"
    for _ in $(seq 300); do grep -q streaming "$work/load.log" && break; sleep 0.1; done
    sleep 8
}
finish_load() {
    wait "$loader" || fail "the load did not run: $(cat "$work/load.json" "$work/load.log")"
    grep -q '"failedPlayers":0' "$work/load.json" ||
        fail "players gave up: $(grep -o '"failed":"[^"]*"' "$work/answers.json" | sort | uniq -c | head -5): $(cat "$work/load.json")"
    answered_in_database "$work/answers.json" "$@"
}

stop_cluster() {
    for p in $pids; do kill -9 "$p" 2>/dev/null || true; done
    [ ! -f "$work/nginx.pid" ] || kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
}

# answered_in_database ANSWERS PSQL_OR_SQLITE...: every player's answered lines
# and placed records, from world_load's --answers file, checked against the
# database the command given queries (it gets one SQL statement as its last
# argument). Its variables are a_*, to leave the caller's alone. Writes "LINES RECORDS"
# answered to $work/counts; fails on the first one missing.
answered_in_database() {
    a_answers=$1
    shift
    node -e '
        const answers = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
        for (const a of answers) console.log(a.session, a.lines, a.records.join(",") || "-", a.failed ? "failed" : "ok");
    ' "$a_answers" >"$work/answered.txt"
    "$@" "SELECT id, lines FROM sessions" | tr '|' ' ' | sort >"$work/held.txt"
    cut -d' ' -f1 "$work/answered.txt" >"$work/sessions.txt"
    "$@" "SELECT session || ' ' || id FROM records" | grep -F -f "$work/sessions.txt" | sort >"$work/records.txt" || true
    a_lines=0 a_records=0
    while read -r a_session a_count a_placed a_state; do
        [ "$a_state" = ok ] || fail "player with session ${a_session%????????????????????????} gave up: $(grep "$a_session" "$a_answers" | head -c 300)"
        a_held=$(grep "^$a_session " "$work/held.txt" | cut -d' ' -f2)
        [ "$a_held" = "$a_count" ] || fail "the table answered $a_count lines of session ${a_session%????????????????????????}, the database holds ${a_held:-none}"
        a_lines=$((a_lines + a_count))
        for a_r in $(echo "$a_placed" | tr ',' ' '); do
            [ "$a_r" = - ] && continue
            grep -q "^$a_session $a_r\$" "$work/records.txt" || fail "record $a_r was answered placed and is not in the database"
            a_records=$((a_records + 1))
        done
    done <"$work/answered.txt"
    [ "$(wc -l <"$work/records.txt")" = "$a_records" ] || fail "the database holds $(wc -l <"$work/records.txt") records, $a_records were answered"
    echo "$a_lines $a_records" >"$work/counts"
}
