// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The page against a real bopatron-server (a scratch SQLite file, a free port),
// in headless Chromium: three players at once, two sending their rounds (one
// types initials into the game's own box, one whose own table is full is asked
// by the world panel) and one not, who asks nothing of /api/ but the boards;
// the board shown equals GET /api/top (one player 0.8 s from the table, there and back,
// through a slow proxy, its round placed all the same), initials that look like HTML are shown
// as text; "Watch" plays a record to its end and ?timedemo= gives its score;
// the server stopped mid-round leaves the game playing and the panel saying so
// (its parts stop coming: the round leaves the table), and once it is back the next round is sent (pressing each rat as soon as it
// shows: held for review, and the panel says why). Each round's value is
// asked for after "New Game" and recorded before its first tick.
// Usage: node world_test.mjs SITE_FOLDER SERVER_PROGRAM
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { answer, check, failures, launch, newRound, open, playRound, ready, sleep, stored } from "./common.mjs";

const [site, serverProgram] = process.argv.slice(2);
const scratch = mkdtempSync(join(tmpdir(), "bopatron-world-"));
let server = null, origin = null, down = false;

// Starts the server (on a free port the first time, the same one after) and waits for its address.
async function startServer(port = 0) {
    server = spawn(serverProgram, [`--port=${port}`, `--database=${join(scratch, "world.db")}`, `--site=${site}`],
                   { stdio: ["ignore", "ignore", "pipe"] });
    let log = "";
    server.stderr.on("data", (d) => { log += d; });
    // While it runs, at most 20 s, as the shell suites wait (a busy machine starts slowly).
    for (let i = 0; i < 400 && server.exitCode === null && !/listening on http:\/\/[^/]+\//.test(log); ++i) await sleep(50);
    origin = /listening on (http:\/\/[^/]+)\//.exec(log)?.[1];
    if (!origin) throw new Error(`the server did not start: ${log}`);
}
async function stopServer() {
    down = true;
    const exited = new Promise((r) => server.once("exit", r));
    server.kill("SIGTERM");
    await exited;
}
let reported = false;
process.on("exit", () => {
    server?.kill("SIGKILL");
    rmSync(scratch, { recursive: true, force: true });
    if (!reported) for (const f of failures) console.log(`FAIL: ${f}`);
});

// The players look at the field this often: three rounds at once must leave the
// pages time for every tick, or the server rightly refuses rounds that ran slow.
const POLL_MS = 40;
const json = async (path) => (await fetch(origin + path)).json();
const statusOf = (page) => page.$eval("#world-status", (s) => s.textContent);
// Polls the panel's status until it matches, for at most ms.
async function says(page, pattern, ms) {
    for (let end = Date.now() + ms; Date.now() < end; await sleep(100)) if (pattern.test(await statusOf(page))) return true;
    failures.push(`the panel says '${await statusOf(page)}', not ${pattern}`);
    return false;
}
// Every request a page makes under /api/, as "METHOD /path?query".
function apiRequests(page) {
    const seen = [];
    page.on("request", (r) => {
        const url = new URL(r.url());
        if (url.pathname.startsWith("/api/")) seen.push(`${r.method()} ${url.pathname}${url.search}`);
    });
    return seen;
}
// The board as the panel shows it, row by row: rank, initials, score, date.
const shownBoard = (page, board) => page.$$eval(`#world-${board} tr`, (rows) =>
    rows.map((row) => Array.from(row.cells).slice(0, 4).map((c) => c.textContent).join("|")));
const apiBoard = async (board) => (await json(`/api/top?board=${board}&n=5`)).map((r) =>
    [r.rank, r.initials, r.score, r.at.slice(0, 10)].join("|"));
// Ticks "Send my rounds…": between rounds the page opens again with the server's seed.
async function sendRounds(page) {
    await page.bringToFront();
    await Promise.all([page.waitForNavigation(), page.$eval("#world-send", (box) => box.click())]);
    await ready(page);
}

// A proxy that holds a round's every request and its answer 400 ms each way, as a slow network would.
async function slowProxy() {
    const proxy = spawn(process.execPath, [join(import.meta.dirname, "../server/delay_proxy.mjs"), `--to=${origin}`, "--each=400", "--rounds-only"],
                        { stdio: ["ignore", "pipe", "ignore"] });
    process.on("exit", () => proxy.kill("SIGKILL"));
    let said = "";
    proxy.stdout.on("data", (d) => { said += d; });
    for (let i = 0; i < 400 && proxy.exitCode === null && !/listening on/.test(said); ++i) await sleep(50);
    return /listening on (http:\/\/[^/]+)\//.exec(said)?.[1];
}

await startServer();
const slow = await slowProxy();
const browser = await launch();
const page = async (context, path, through = origin) => {
    const p = await open(context, through, path, { serverDown: () => down });
    if (!path?.includes("timedemo")) await ready(p);
    return p;
};
// The player asked by the world panel is 0.8 s from the table, there and back: every
// part still comes before its second begins, and the round is placed.
const [typing, asked, offline] = await Promise.all([origin, slow, origin].map(async (through) =>
    page(await browser.createBrowserContext(), "/", through)));
check(await typing.$eval("#world", (w) => !w.hidden), "the page served by bopatron-server shows no World panel");
// The page's own policy: its own files only, framed by no one, no referrer, no device.
const served = (await fetch(origin + "/")).headers;
check(/frame-ancestors 'none'/.test(served.get("content-security-policy")) && /object-src 'none'/.test(served.get("content-security-policy")) &&
      served.get("referrer-policy") === "no-referrer" && /camera=\(\)/.test(served.get("permissions-policy")),
      `the page's security headers: ${JSON.stringify([...served])}`);

// One player keeps a full table of their own: only the world board can place their round.
await stored(asked, '"TOP",99999\r\n'.repeat(5));
// The other's takes any score a person's round makes, and asks in the game's own box.
await stored(typing, '"LOW",-999\r\n'.repeat(5));
for (const p of [typing, asked]) await sendRounds(p);
for (const p of [typing, asked]) await says(p, /^world table on$/, 5000);
const typingRequests = apiRequests(typing);
const offRequests = apiRequests(offline);
await offline.reload();
await ready(offline);

// Three rounds at once.
for (const p of [typing, asked, offline]) await newRound(p);
const titles = await Promise.all([playRound(typing, true, POLL_MS, true), playRound(asked, true, POLL_MS, true),
                                  playRound(offline, false, POLL_MS)]);
check(titles.join() === "Top 5,World Top 5,Top 5", `the rounds ended with the boxes ${titles.join(", ")}`);
await answer(typing, "\"&'");
await answer(asked, "<b>");
await answer(offline, "OFF");
await Promise.all([typing, asked].map((p) => says(p, /^world: round 1: (1st|2nd) today, (1st|2nd) of all time$/, 5000)));
for (const p of [typing, asked]) check(await p.$eval("#box", (b) => !b.open), "a box is open after the round: asked twice?");

const board = await json("/api/top?board=all&n=5");
const own = /"'&'",(-?\d+)\r\n/.exec(await stored(typing))?.[1];
check(board.length === 2 && board[0].score >= board[1].score, `the world board: ${JSON.stringify(board)}`);
check(board.some((r) => r.initials === "'&'" && String(r.score) === own), `the typed record is not the one the game kept (${own}): ${JSON.stringify(board)}`);
check(board.some((r) => r.initials === "<b>"), `the initials asked for are not on the board: ${JSON.stringify(board)}`);
// The round's rats came from the table: its value was asked for after "New Game" and is in its demo.
check(typingRequests.some((r) => /^POST \/api\/sessions\/[0-9a-f]{32}\/rounds$/.test(r)), `the page asked no value: ${typingRequests}`);
const typedRecord = board.find((r) => r.initials === "'&'");
const typedDemo = await (await fetch(`${origin}/api/records/${typedRecord?.record}/demo`)).text();
check(/\nclick\n(?:.*\n)*value \d+\n/.test(typedDemo.slice(0, typedDemo.indexOf("\ntick\n") + 1)),
      "the placed round's demo holds no value between its New Game and its first tick");
check(offRequests.length > 0 && offRequests.every((r) => /^GET \/api\/top\?board=(all|today)&n=5$/.test(r)),
      `with sending off the page asked ${JSON.stringify(offRequests)}`);
// The boards as a page opened now shows them.
await asked.reload();
await ready(asked);
const shown = await shownBoard(asked, "all");
check(shown.join() === (await apiBoard("all")).join(), `the panel shows ${shown.join(", ")}; the server ${(await apiBoard("all")).join(", ")}`);
check(shown.join().includes("|<b>|") && (await asked.$$("#world b")).length === 0, "initials such as <b> are not shown as typed");
check((await shownBoard(asked, "today")).join() === (await apiBoard("today")).join(), "the today board differs from the server's");

// "Watch" on the first record plays it to its end, while the server stops under the next round.
const first = board[0];
await offline.reload();
await ready(offline);
await Promise.all([offline.waitForNavigation(), offline.$eval("#world-all a", (a) => a.click())]);
check(offline.url().endsWith(`?demo=/api/records/${first.record}/demo`), `Watch opened ${offline.url()}`);
// Beside it, how fast its whacks came, as the table's replay measured them.
await says(offline, new RegExp(`^Watching record ${first.record}: .*\\. \\d+ whacks, \\d+ ms from a rat showing to its whack ` +
                               `at the median, the fastest \\d+ ms`), 3000);
const watched = says(offline, new RegExp(`^Record ${first.record} played to its end\\.$`), 40000);

await newRound(typing);
const round2 = playRound(typing, true, POLL_MS);
await sleep(5000);
// Every status the panel shows from now on (the retries' say the latest only).
await typing.evaluate(() => {
    const shown = document.getElementById("world-status");
    window.statuses = [];
    new MutationObserver(() => window.statuses.push(shown.textContent)).observe(shown, { childList: true, characterData: true, subtree: true });
});
await stopServer();
await says(typing, /the table cannot be reached/, 8000);
check(await typing.$eval("#newgame", (b) => b.disabled === false), "the game stopped with the server");
check((await round2) === "Top 5", "the round did not play to its end with the server stopped");
// Its parts stopped coming with the server: the round left the table and played on.
const statuses = await typing.evaluate(() => window.statuses);
check(statuses.some((t) => /^world: round 2 is off the table: its rats came late: part \d+ of its randomness had not come when its second began$/.test(t)),
      `the panel never said round 2 left the table: ${statuses.join(" | ")}`);
await answer(typing, "TWO");
await startServer(new URL(origin).port);
// Its lines are sent once the server is back; the round is claimed of nobody.
await says(typing, /^world table on$/, 35000);
down = false;
await newRound(typing);
// Every rat pressed as soon as it shows, as no person can: held for review, and said why.
check((await playRound(typing, true, POLL_MS)) === "Top 5", "the round after the restart did not end in the Top 5 box");
await answer(typing, "THR");
await says(typing, /^world: round 3: held for review: \d+ of \d+ whacks (of a free hand )?came (faster|sooner) than a person reacts/, 5000);
check(!(await json("/api/top?board=all&n=5")).some((r) => r.initials === "THR"), "a held round is on the board");
await watched;

const timed = await page(await browser.createBrowserContext(), `/?timedemo=/api/records/${first.record}/demo`);
await timed.waitForSelector("#result:not(:empty)", { timeout: 30000 });
const line = await timed.$eval("#result", (r) => r.textContent);
check(line.split("\n")[0].endsWith(` round-scores=${first.score}`), `?timedemo= of record ${first.record} (score ${first.score}): ${line}`);

await browser.close();
reported = true;
for (const f of failures) console.log(`FAIL: ${f}`);
if (failures.length === 0) console.log("PASS: the world panel in the browser");
process.exit(failures.length ? 1 : 0);
