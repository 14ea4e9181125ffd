// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The browser build's figures in headless Chromium: page load to an enabled
// "New Game" (median of 5 fresh loads), a tick with its present over a round
// of 1000 ticks, and the site's sizes. Given bopatron-server, the site is served
// by it (a scratch database), so the load includes the world panel and, with
// the player's rounds sent, taking the session's seed.
// Usage: node bench/web_bench.mjs build-web/site [build/bin/bopatron-server]
import { spawn } from "node:child_process";
import { mkdtempSync, readdirSync, readFileSync, rmSync, statSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { gzipSync } from "node:zlib";
import { createRequire } from "node:module";

// puppeteer-core as the browser tests installed it (cd tests/web && npm ci).
const puppeteer = createRequire(new URL("../tests/web/package.json", import.meta.url))("puppeteer-core");

const [site, world] = process.argv.slice(2);
const port = 18500;
const scratch = mkdtempSync(join(tmpdir(), "bopatron-bench-"));
const server = world
    ? spawn(world, [`--port=${port}`, `--database=${join(scratch, "world.db")}`, `--site=${site}`], { stdio: "ignore" })
    : spawn("node", [new URL("../web/serve.mjs", import.meta.url).pathname, site, String(port)], { stdio: "ignore" });
await new Promise((r) => setTimeout(r, 300));
const browser = await puppeteer.launch({ executablePath: "/usr/bin/chromium", headless: true, args: ["--no-sandbox"] });
const loads = [];
for (let i = 0; i < 5; ++i) {
    const context = await browser.createBrowserContext();  // nothing cached
    const page = await context.newPage();
    // With a world table, the last loads send the player's rounds: the seed is asked before the game starts.
    if (world && i >= 2) await page.evaluateOnNewDocument(() => localStorage.setItem("Bopatron/world", "1"));
    const begun = Date.now();
    await page.goto(`http://127.0.0.1:${port}/`);
    await page.waitForSelector("#newgame:not([disabled])");
    loads.push(Date.now() - begun);
    if (i < 4) await context.close();
    else {
        await page.click("#newgame");
        await page.waitForSelector("dialog[open]");
        await page.keyboard.type("0");
        await page.keyboard.press("Enter");
        await page.waitForSelector("#save:not([hidden])", { timeout: 30000 });  // the round has ended, unplaced
        const ticks = await page.evaluate(() => performance.getEntriesByName("bopatron-tick").map((e) => e.duration));
        ticks.sort((a, b) => a - b);
        const at = (q) => ticks[Math.min(ticks.length - 1, Math.floor(q * ticks.length))].toFixed(2);
        console.log(`tick with its present over ${ticks.length} ticks: median ${at(0.5)} ms, 99th percentile ${at(0.99)} ms (target <= 2 ms)`);
    }
}
loads.sort((a, b) => a - b);
console.log(`load to an enabled "New Game" on localhost${world ? " from bopatron-server (sending on in the last 3)" : ""}, fresh each time: median ${loads[2]} ms of ${loads.join(", ")} (target <= 1000 ms)`);
const code = ["bopatron.js", "bopatron.wasm", "app.js", "world.js", "sw.js"].map((f) => gzipSync(readFileSync(join(site, f))).length);
const all = (dir) => readdirSync(dir).reduce((n, f) => n + (statSync(join(dir, f)).isDirectory() ? all(join(dir, f)) : statSync(join(dir, f)).size), 0);
console.log(`JavaScript and WebAssembly gzipped: ${Math.round(code.reduce((a, b) => a + b) / 1024)} KB (target <= 300); the whole site: ${Math.round(all(site) / 1024)} KB (target <= 1536)`);
await browser.close();
server.kill();
rmSync(scratch, { recursive: true, force: true });
