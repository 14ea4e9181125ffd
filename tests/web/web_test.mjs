// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The browser build in Debian's Chromium, headless: the page loads with no
// console error and asks nothing of any other site; a round at difficulty 0,
// whacking rats where the canvas shows them, ends in the "Top 5" box and its
// record is found after a reload, which also works offline; two tabs finishing at once keep both
// records; a damaged stored table is kept and said; and every golden demo's
// ?timedemo line equals its closing line; the round's cues are heard.
// Usage: node web_test.mjs SITE_FOLDER DEMO_FOLDER
import { spawn } from "node:child_process";
import { cpSync, mkdtempSync, readdirSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { answer, check, failures, launch, newRound, open as openPage, playRound, ready, settled, stored } from "./common.mjs";

const [siteFolder, demoFolder] = process.argv.slice(2);
const site = mkdtempSync(join(tmpdir(), "bopatron-site-"));
cpSync(siteFolder, site, { recursive: true });
cpSync(demoFolder, join(site, "demos"), { recursive: true });
const port = 18000 + (process.pid % 1000);
const origin = `http://127.0.0.1:${port}`;
const server = spawn("node", [new URL("../../web/serve.mjs", import.meta.url).pathname, site, String(port)], { stdio: "ignore" });
const browser = await launch();
let finished = false;
process.on("exit", () => { server.kill(); rmSync(site, { recursive: true, force: true }); });
const open = (context, path) => openPage(context, origin, path);

const start = Date.now();
const main = await open(browser.defaultBrowserContext());
await ready(main);
const loadMs = Date.now() - start;

// Damaged storage, in a context of its own: the round plays, the page says so, the value stays.
const damagedContext = await browser.createBrowserContext();
const damaged = await open(damagedContext);
await stored(damaged, "\u0100 not a table");
await ready(damaged);

// Three rounds at once: the seeing one, and two tabs sharing one table.
const other = await open(browser.defaultBrowserContext());
await ready(other);
for (const page of [main, other, damaged]) await newRound(page);
const [title, otherTitle, damagedTitle] = await Promise.all([playRound(main, true), playRound(other, false), playRound(damaged, false)]);
check(title === "Top 5" && otherTitle === "Top 5", `the rounds ended with '${title}' and '${otherTitle}', not the Top 5 box`);
await Promise.all([answer(main, "WEB"), answer(other, "TAB")]);
check((await Promise.all([settled(main), settled(other)])).every(Boolean), "the rounds did not end after the initials");
const table = await stored(main);
check(/"WEB",\d+\r\n/.test(table) && /"TAB",\d+\r\n/.test(table), `both tabs' records kept: ${JSON.stringify(table)}`);
check(await main.$eval("#save", (a) => a.href.startsWith("blob:")), "no link to save the session as a demo");
// The cues, fetched as MP3 once the field was up, started as the round played them.
const heard = await main.evaluate(() => performance.getEntriesByName("bopatron-cue").map((e) => e.detail));
check(heard.length > 0, "no cue was heard in the round");
const ticks = await main.evaluate(() => performance.getEntriesByName("bopatron-tick").map((e) => e.duration));
await main.bringToFront();
await main.reload();
await ready(main);
check((await stored(main)) === table, "the record is not found after a reload");
await main.setOfflineMode(true);  // installed by the service worker, it plays offline
await main.reload();
check(await ready(main).then(() => true, () => false), "the page does not start offline");
await main.setOfflineMode(false);
check(damagedTitle === "no box", `a damaged table gave a '${damagedTitle}' box`);
const said = await damaged.$eval("#messages", (m) => m.textContent);
check(said.includes("could not be read") && (await stored(damaged)) === "\u0100 not a table", `damaged table: said '${said}'`);

// Every golden demo through ?timedemo, frame for frame as on the desktop, with
// each round's score as the table placed it (round-scores beside the demos).
const roundScores = Object.fromEntries(readFileSync(join(demoFolder, "round-scores"), "utf8").trimEnd().split("\n").map((l) => l.split(" ")));
for (const name of readdirSync(demoFolder).filter((n) => n.endsWith(".dem"))) {
    const [, n, s, h] = readFileSync(join(demoFolder, name), "utf8").trimEnd().split("\n").pop().split(" ");
    const r = roundScores[name];
    const page = await open(browser.defaultBrowserContext(), `/?timedemo=demos/${name}`);
    await page.waitForSelector("#result:not(:empty)", { timeout: 30000 });
    const line = await page.$eval("#result", (r) => r.textContent);
    check(line.split("\n")[0].replace(/ ms=[0-9.]+/, "") === `timedemo: ticks=${n} score=${s} frames=${h} round-scores=${r}`, `${name}: '${line}'`);
    console.log(`${name} in the browser: ${line.split("\n")[0]}`);
    await page.close();
}

ticks.sort((a, b) => a - b);
console.log(`load to an enabled "New Game": ${loadMs} ms; tick with its present: median ${ticks[ticks.length >> 1]?.toFixed(2)} ms, ` +
            `longest ${ticks[ticks.length - 1]?.toFixed(2)} ms over ${ticks.length} ticks`);
await browser.close();
finished = true;
for (const f of failures) console.log(`FAIL: ${f}`);
if (failures.length === 0 && finished) console.log("PASS");
process.exit(failures.length ? 1 : 0);
