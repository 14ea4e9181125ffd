// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// N players on one world table. Each takes a session and its seed, asks the
// table for its round's value when its round starts, has the model of a
// person (or --player) play the round on that value (record_demos --plan, which also says what the game's
// own world client sends and when: the batching is the game's, not this
// file's) and sends those requests at the game's pace. Players start spread
// evenly over --spread ms, as round starts would be on a busy table. A
// refused or lost request (a network error, 429, 5xx) is sent again after
// the client's own back-off, for up to --retry-for ms.
// Prints one line of JSON: batch and verdict latencies, counts, and the
// processor time and peak memory of every process named with --watch.
// With --answers=FILE writes what the table answered each player (its session,
// seed, lines, placed records and claimed scores), which the fault tests
// compare with the database; --keep=DIR keeps each player's demo there (P.dem).
// With --attackers=M, M more clients attack the table as hard as its rules let
// them, from addresses of their own: each plays --attack-rounds rounds in one
// session at the game's pace (the table refuses a faster one before any
// replay), claims each with a score no round makes (so that every claim is
// replayed) and sends its claims again as often as the table takes claims.
// Their times are not in the players' figures; the JSON says how many ticks
// the table replayed ("replayedTicks", from its /metrics) against the ticks
// all sessions played ("sessionTicks").
// usage: node world_load.mjs --url=URL --players=N --record-demos=BIN --program=DIR
//            [--spread=MS] [--retry-for=MS] [--addresses=K] [--first-address=A]
//            [--watch=NAME:PID ...] [--answers=FILE] [--keep=DIR]
//            [--attackers=M] [--attack-rounds=R] [--player=KIND]
// --player: who plays the players' rounds (record_demos' --player; a person by
// default, whose rounds the table places; "instant" plays as no person can, and
// the table holds those rounds for review).
import { spawn } from "node:child_process";
import { readFileSync, readdirSync, writeFileSync } from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";

const options = { spread: "20000", "retry-for": "30000", addresses: "2", "first-address": "2", watch: [],
                  attackers: "0", "attack-rounds": "5" };
for (const arg of process.argv.slice(2)) {
    const [key, value] = arg.replace(/^--/, "").split(/=(.*)/s);
    if (key === "watch") options.watch.push(value);
    else options[key] = value;
}
for (const needed of ["url", "players", "record-demos", "program"])
    if (!options[needed]) throw new Error(`--${needed} is needed`);
const players = Number(options.players), spread = Number(options.spread), retryFor = Number(options["retry-for"]);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, Math.max(0, ms)));

// Clients spread over local addresses 127.0.0.2, .3, ... (from --first-address, counting on into
// 127.0.1.0 and beyond): K players to an address (2 unless told, a household), as many players
// are, so that the table's limits per address (new sessions, rounds in play) see players, not one
// machine. --addresses=0: every player from the machine's own address.
const agents = new Map();
const loopback = (k) => `127.${(k >> 16) & 255}.${(k >> 8) & 255}.${k & 255}`;
function agentFor(player) {
    const per = Number(options.addresses);
    const localAddress = per > 0 ? loopback(Number(options["first-address"]) + Math.floor(player / per)) : undefined;
    if (!agents.has(localAddress)) agents.set(localAddress, new http.Agent({ keepAlive: true, localAddress }));
    return agents.get(localAddress);
}

function post(target, body, agent) {
    return new Promise((resolve) => {
        const request = http.request(options.url + target, { method: "POST", agent, timeout: 10000 }, (response) => {
            let text = "";
            response.setEncoding("utf8");
            response.on("data", (chunk) => (text += chunk));
            response.on("end", () => resolve({ status: response.statusCode, text }));
            response.on("error", () => resolve({ status: 0, text: "" }));
        });
        request.on("timeout", () => request.destroy(new Error("timeout")));
        request.on("error", () => resolve({ status: 0, text: "" }));
        request.end(body);
    });
}

const batchMs = [], verdictMs = [], refusals = {};
let batches = 0, retries = 0, failedPlayers = 0;
const retryable = (status) => status === 0 || status === 429 || status >= 500;

// The players' rounds, played by record_demos --plan: one process per processor, each
// playing the sessions it is given at once ("SESSION SEED ROUNDS"). Each session's world
// client (the game's own) says each request it makes ({"session", "at", "path", "body"},
// "at" in ms of the session's play) and waits for its answer ("SESSION STATUS BODY"), so
// that its rounds are played on the values and parts the table gives; {"session", "end"}
// after its last.
const planners = os.cpus().map(() => {
    const child = spawn(options["record-demos"], [options.program, "--plan", ...(options.player ? [`--player=${options.player}`] : [])],
                        { stdio: ["pipe", "pipe", "inherit"] });
    const playing = new Map();
    let buffer = "";
    child.stdout.setEncoding("utf8");
    child.stdout.on("data", (chunk) => {
        buffer += chunk;
        for (let end; (end = buffer.indexOf("\n")) >= 0; buffer = buffer.slice(end + 1)) {
            const line = JSON.parse(buffer.slice(0, end));
            playing.get(line.session)(line);
        }
    });
    return { child, playing };
});
let nextPlanner = 0;
// Plays ROUNDS rounds in the session: carry(request) sends each of its requests at
// the game's pace and resolves to the table's answer ({status, text}).
async function play(session, seed, rounds, carry) {
    const planner = planners[nextPlanner++ % planners.length];
    const lines = [];
    let wake = null;
    planner.playing.set(session, (line) => { lines.push(line); wake?.(); });
    planner.child.stdin.write(`${session} ${seed} ${rounds}\n`);
    for (;;) {
        while (!lines.length) await new Promise((resolve) => (wake = resolve));
        const request = lines.shift();
        if (request.end) break;
        const answer = await carry(request);
        planner.child.stdin.write(`${session} ${answer.status} ${answer.text.replace(/\n/g, " ")}\n`);
    }
    planner.playing.delete(session);
}
// The game's pace for one session: each request at its "at", counted from when the
// latest round's value came (a value asked late, or sent again, delays its round's lines).
function pacer() {
    let base = null;
    return {
        async wait(request) { if (base !== null) await sleep(base + request.at - Date.now()); },
        valueCame(request) { base = Date.now() - request.at; },
    };
}
const isValueAsk = (request) => /\/rounds$/.test(request.path);

// Sends until answered (not refused for load or lost) or retryFor has passed,
// waiting as the game's client does: 1, 2, 4, 8, then every 15 s; times the
// answered attempt into times (claims are timed as verdicts instead).
async function send(target, body, agent, times) {
    const first = Date.now();
    for (let wait = 1000; ; wait = Math.min(wait * 2, 15000)) {
        const began = performance.now();
        const answer = await post(target, body, agent);
        if (!retryable(answer.status)) {
            times?.push(performance.now() - began);
            return answer;
        }
        refusals[answer.status] = (refusals[answer.status] || 0) + 1;
        if (Date.now() - first > retryFor) return answer;
        ++retries;
        await sleep(wait);
    }
}

const sessions = [];
for (let p = 0; p < players; ++p) {
    const answer = await send("/api/sessions", "", agentFor(p), null);
    if (answer.status !== 200) throw new Error(`no session for player ${p}: ${answer.status} ${answer.text}`);
    sessions.push(JSON.parse(answer.text));
}
const attackers = Number(options.attackers), attackRounds = Number(options["attack-rounds"]);
const attackSessions = [];
for (let a = 0; a < attackers; ++a) {
    const agent = new http.Agent({ keepAlive: true, localAddress: loopback((1 << 16) + 1 + a) });
    const answer = await send("/api/sessions", "", agent, null);
    if (answer.status !== 200) throw new Error(`no session for attacker ${a}: ${answer.status} ${answer.text}`);
    attackSessions.push({ ...JSON.parse(answer.text), agent });
}
console.error(`world_load: ${players} players and ${attackers} attackers have their sessions; streaming`);

// Processor time (utime + stime, with waited-for children) and resident memory of a process and its children.
const tick = 100;
function processTree(pid) {
    const found = [pid];
    for (const entry of readdirSync("/proc")) {
        if (!/^\d+$/.test(entry)) continue;
        try {
            const stat = readFileSync(`/proc/${entry}/stat`, "utf8");
            if (Number(stat.slice(stat.lastIndexOf(")") + 2).split(" ")[1]) === pid) found.push(Number(entry));
        } catch { /* ended meanwhile */ }
    }
    return found;
}
function usage(pid) {
    let cpu = 0, rss = 0;
    for (const p of processTree(pid)) {
        try {
            const fields = readFileSync(`/proc/${p}/stat`, "utf8").split(") ")[1].split(" ");
            cpu += (Number(fields[11]) + Number(fields[12]) + Number(fields[13]) + Number(fields[14])) / tick;
            rss += Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${p}/status`, "utf8"))?.[1] || 0) / 1024;
        } catch { /* ended meanwhile */ }
    }
    return { cpu, rss };
}
const watched = options.watch.map((w) => {
    const [name, pid] = w.split(":");
    return { name, pid: Number(pid), start: usage(Number(pid)), peak: 0, end: null };
});
watched.push({ name: "load", pid: process.pid, start: usage(process.pid), peak: 0, end: null });
const sampler = setInterval(() => {
    for (const w of watched) w.peak = Math.max(w.peak, usage(w.pid).rss);
}, 1000);

const answers = [];
const began = Date.now();
const attack = { claims: 0, again: 0, refused: {}, verdictMs: [] };
// An attacker: its rounds one after the other at the game's pace, every claim for a
// score no round makes, and its last claim sent again as often as the table takes one.
async function attacker({ session, seed, agent }) {
    let last = null, done = false;
    const again = (async () => {
        for (; !done; await sleep(5000)) {
            if (!last) continue;
            const answer = await post(`/api/sessions/${session}/lines?from=${last.lines}&round=${last.round}&score=30000`, "", agent);
            ++attack.claims;
            if (answer.status === 200) ++attack.again;
        }
    })();
    const pace = pacer();
    let failed = false;
    await play(session, seed, attackRounds, async (request) => {
        if (failed) return { status: 0, text: "" };
        await pace.wait(request);
        const claim = /&round=(\d+)&score=-?\d+/.exec(request.path);
        const target = claim ? request.path.replace(/&score=-?\d+/, "&score=30000") : request.path;
        const dueAt = performance.now();
        const answer = await send(`/api/${target}`, request.body, agent, null);
        if (isValueAsk(request)) pace.valueCame(request);
        if (answer.status !== 200) failed = !isValueAsk(request);
        if (!claim || answer.status !== 200) return answer;
        const json = JSON.parse(answer.text);
        ++attack.claims;
        attack.verdictMs.push(performance.now() - dueAt);
        attack.refused[json.refused] = (attack.refused[json.refused] || 0) + 1;
        last = { round: Number(claim[1]), lines: json.lines };
        return answer;
    });
    done = true;
    await again;
}
const attacking = Promise.all(attackSessions.map(attacker));
await Promise.all(sessions.map(async ({ session, seed }, p) => {
    const agent = agentFor(p);
    const mine = { session, seed, lines: 0, records: [], held: [], scores: [] };
    answers[p] = mine;
    await sleep(began + (p * spread) / players - Date.now());
    // "New Game": the round's value, then the player's round on it, sent as the game sends it.
    const requests = [], pace = pacer();
    await play(session, seed, 1, async (request) => {
        if (mine.failed) return { status: 0, text: "" };  // the rest of the round is not sent
        requests.push(request);
        const claim = /&round=\d+&score=(-?\d+)/.exec(request.path);
        await pace.wait(request);
        const dueAt = performance.now();
        // Sent again as it is when lost: the table skips the lines it holds already.
        const answer = await send(`/api/${request.path}`, request.body, agent, claim || isValueAsk(request) ? null : batchMs);
        if (isValueAsk(request)) {
            pace.valueCame(request);
            if (answer.status !== 200) {
                ++failedPlayers;
                mine.failed = `no value: ${answer.status} ${answer.text.trim()}`;
            }
            return answer;
        }
        ++batches;
        let json = {};
        try { json = JSON.parse(answer.text); } catch { /* counted below */ }
        if (answer.status !== 200) {
            // A gap (409) would mean the table lost lines it had answered.
            ++failedPlayers;
            mine.failed = `${answer.status} ${answer.text.trim()}`;
            return answer;
        }
        mine.lines = json.lines;
        if (claim) {
            verdictMs.push(performance.now() - dueAt);
            if (json.placed) mine.records.push(json.record);
            if (json.held) mine.held.push(json.record);
            if (json.refused) mine.refused = json.refused;
            mine.scores.push(Number(claim[1]));
        }
        return answer;
    });
    if (mine.failed) return;
    if (options.keep) writeFileSync(path.join(options.keep, `${p}.dem`), requests.map((r) => r.body).join(""));
}));
await attacking;
for (const { child } of planners) child.stdin.end();
const seconds = (Date.now() - began) / 1000;
// What the table replayed, from its metrics (through a front, one server's only).
const metrics = await new Promise((resolve) => {
    http.get(options.url + "/metrics", (response) => {
        let text = "";
        response.on("data", (chunk) => (text += chunk));
        response.on("end", () => resolve(text));
    }).on("error", () => resolve(""));
});
const replayedTicks = Number(/^bopatron_replayed_ticks_total (\S+)/m.exec(metrics)?.[1] ?? NaN);
clearInterval(sampler);
for (const w of watched) w.end = usage(w.pid);
for (const agent of agents.values()) agent.destroy();

const quantile = (values, q) => {
    if (!values.length) return null;
    const sorted = [...values].sort((a, b) => a - b);
    return Math.round(sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))] * 10) / 10;
};
if (options.answers) writeFileSync(options.answers, JSON.stringify(answers));
console.log(JSON.stringify({
    players, seconds: Math.round(seconds), batches, retries, refusals, failedPlayers,
    batchP50: quantile(batchMs, 0.5), batchP99: quantile(batchMs, 0.99), batchMax: quantile(batchMs, 1),
    verdicts: verdictMs.length, placed: answers.reduce((n, a) => n + a.records.length, 0),
    held: answers.reduce((n, a) => n + a.held.length, 0),
    refused: answers.reduce((r, a) => (a.refused ? { ...r, [a.refused]: (r[a.refused] || 0) + 1 } : r), {}),
    verdictP50: quantile(verdictMs, 0.5), verdictP99: quantile(verdictMs, 0.99), verdictMax: quantile(verdictMs, 1),
    attackers, attackRounds, attackClaims: attack.claims, attackAnsweredAgain: attack.again, attackRefused: attack.refused,
    attackVerdictP50: quantile(attack.verdictMs, 0.5), attackVerdictP99: quantile(attack.verdictMs, 0.99),
    replayedTicks, sessionTicks: 1000 * (players - failedPlayers + attackers * attackRounds),
    processes: watched.map((w) => ({ name: w.name, cpuSeconds: Math.round((w.end.cpu - w.start.cpu) * 10) / 10,
                                     cpuPercent: Math.round((100 * (w.end.cpu - w.start.cpu)) / seconds),
                                     peakMiB: Math.round(Math.max(w.peak, w.end.rss)) })),
}));
