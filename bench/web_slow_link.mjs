// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The page on a phone over a slow link, served by bopatron-server --site as
// WORLD.md tells operators to serve it: Chromium's "Fast 3G" (562.5 ms of
// latency, 1.6 Mbit/s down, 750 kbit/s up) with the processor 4 times slower,
// at a phone's size. For each of RUNS fresh loads (nothing cached, no service
// worker): the time from the request to an enabled "New Game", the bytes
// across the link before it and in the first 20 s (the cues come after it);
// then a second visit in the same browser (what was kept revalidated: the
// server's 304s). Prints medians and the
// floor they are compared against: the compressed bytes the first frame
// needs at that link's rate, with its round trips.
// Usage: node bench/web_slow_link.mjs SITE SERVER [RUNS]
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";

// puppeteer-core as the browser tests installed it (cd tests/web && npm ci).
const puppeteer = createRequire(new URL("../tests/web/package.json", import.meta.url))("puppeteer-core");

const [site, serverBinary, runs = "5"] = process.argv.slice(2);
if (!site || !serverBinary) throw new Error("usage: node bench/web_slow_link.mjs SITE SERVER [RUNS]");
const FAST_3G = { offline: false, latency: 562.5, downloadThroughput: (1.6e6 / 8) * 0.9, uploadThroughput: (750e3 / 8) * 0.9 };
const CPU_SLOWDOWN = 4;
const PHONE = { width: 412, height: 823, deviceScaleFactor: 2.625, isMobile: true, hasTouch: true };

const scratch = mkdtempSync(join(tmpdir(), "bopatron-slow-"));
const server = spawn(serverBinary, ["--port=0", `--database=${join(scratch, "world.db")}`, `--site=${site}`],
                     { stdio: ["ignore", "ignore", "pipe"] });
let said = "";  // the server's log: a line per request, with its status
const origin = await new Promise((resolve, reject) => {
    server.stderr.on("data", (d) => {
        said += d;
        const url = /listening on (http:\/\/[^/]+)\//.exec(said)?.[1];
        if (url) resolve(url);
    });
    server.on("exit", () => reject(new Error(`the server ended: ${said}`)));
});
const browser = await puppeteer.launch({ executablePath: "/usr/bin/chromium", headless: true, args: ["--no-sandbox"] });
const median = (v) => [...v].sort((a, b) => a - b)[v.length >> 1];

// One visit of a page: time to an enabled "New Game", and the bytes across the link (every
// response's encoded length with its headers) before it and until 20 s from the request.
async function visit(page) {
    const client = await page.createCDPSession();
    await client.send("Network.enable");
    await client.send("Network.emulateNetworkConditions", FAST_3G);
    await client.send("Emulation.setCPUThrottlingRate", { rate: CPU_SLOWDOWN });
    const finished = [];
    client.on("Network.loadingFinished", (e) => finished.push({ at: Date.now(), bytes: e.encodedDataLength }));
    // The service worker fetches on a connection of its own, which the emulation does not slow:
    // it is left out here (it installs once the field is up, and the next visit is its).
    await page.evaluateOnNewDocument(() =>
        Object.defineProperty(navigator, "serviceWorker", { value: { register: () => Promise.reject(new Error("not here")) } }));
    const logged = said.length;
    const begun = Date.now();
    await page.goto(`${origin}/`, { waitUntil: "domcontentloaded", timeout: 60000 });
    await page.waitForSelector("#newgame:not([disabled])", { timeout: 60000 });
    const ready = Date.now();
    await new Promise((r) => setTimeout(r, Math.max(0, begun + 20000 - Date.now())));
    const sum = (until) => finished.filter((f) => f.at <= until).reduce((n, f) => n + f.bytes, 0);
    await client.detach();
    const notModified = (said.slice(logged).match(/ 304 /g) ?? []).length;
    return { ms: ready - begun, before: sum(ready), first20s: sum(begun + 20000), notModified };
}

const first = [], again = [];
for (let i = 0; i < Number(runs); ++i) {
    const context = await browser.createBrowserContext();  // nothing cached, no service worker
    const page = await context.newPage();
    await page.setViewport(PHONE);
    first.push(await visit(page));
    // The same visitor again, with no service worker to answer for the site: what the HTTP
    // cache kept is revalidated.
    const second = await context.newPage();
    await second.setViewport(PHONE);
    again.push(await visit(second));
    await context.close();
}
await browser.close();
server.kill("SIGTERM");
rmSync(scratch, { recursive: true, force: true });

const kb = (n) => Math.round(n / 1000);
console.log(JSON.stringify({
    link: "Fast 3G, 4x slower processor, 412 x 823 at 2.625",
    runs: first.length,
    first: { readyMs: median(first.map((r) => r.ms)), bytesBeforeKB: kb(median(first.map((r) => r.before))),
             bytesIn20sKB: kb(median(first.map((r) => r.first20s))) },
    again: { readyMs: median(again.map((r) => r.ms)), bytesBeforeKB: kb(median(again.map((r) => r.before))),
             notModified: median(again.map((r) => r.notModified)) },
    all: first.map((r) => r.ms),
}));
