// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// What the browser tests share: Debian's Chromium, headless; pages of the site
// with every console error and every request off the site noted as a failure;
// the stored table; and a player that presses "New Game" and plays a round.
import puppeteer from "puppeteer-core";

export const failures = [];
export const check = (ok, what) => { if (!ok) failures.push(what); };
export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

export const launch = () => puppeteer.launch({
    executablePath: "/usr/bin/chromium", headless: true, protocolTimeout: 60000,
    args: ["--no-sandbox", "--autoplay-policy=no-user-gesture-required", "--disable-background-timer-throttling",
           "--disable-renderer-backgrounding", "--disable-backgrounding-occluded-windows"],
});

// A page of the site at origin. A failed request under /api/ while the test
// has stopped the server is the browser's own report, not the page's error.
export async function open(context, origin, path = "/", { serverDown = () => false } = {}) {
    const page = await context.newPage();
    await page.setViewport({ width: 900, height: 700 });
    page.on("console", (m) => {
        if (m.type() !== "error") return;
        if (serverDown() && m.text().startsWith("Failed to load resource") && m.location()?.url?.includes("/api/")) return;
        failures.push(`console error on ${path}: ${m.text()}`);
    });
    page.on("pageerror", (e) => failures.push(`page error on ${path}: ${e.message}`));
    // Anything the site's Content-Security-Policy refused, as the page itself is told of it.
    await page.evaluateOnNewDocument(() => document.addEventListener("securitypolicyviolation", (e) =>
        console.error(`Content-Security-Policy refused ${e.blockedURI || "inline"} (${e.violatedDirective})`)));
    page.on("request", (r) => { if (!r.url().startsWith(origin) && !r.url().startsWith("blob:")) failures.push(`request off the site: ${r.url()}`); });
    for (let i = 0; i < 50; ++i) {
        try { await page.goto(origin + path); break; } catch { await sleep(100); }  // the server starting
    }
    return page;
}

export const ready = (page) => page.waitForSelector("#newgame:not([disabled])", { timeout: 10000 });
// The table in the site's IndexedDB, or puts a value in its place.
export const stored = (page, value) => page.evaluate((value) => new Promise((resolve, reject) => {
    const open = indexedDB.open("Bopatron", 1);
    open.onupgradeneeded = () => open.result.createObjectStore("files");
    open.onsuccess = () => {
        const files = open.result.transaction("files", "readwrite").objectStore("files");
        const asked = value === undefined ? files.get("Scores.txt") : files.put(value, "Scores.txt");
        asked.onsuccess = () => { open.result.close(); resolve(value ?? asked.result); };
        asked.onerror = () => reject(asked.error);
    };
}), value);

// Presses "New Game", answers the difficulty, then plays until the round ends,
// pressing each hole whose picture differs from the bare field (seeing) or every
// hole (blind), every pollMs. The presses are pointer events sent in the page: a
// tab in the background gets no input from outside.
export const HOLES = [[187, 48], [247, 58], [304, 66], [127, 79], [189, 90], [262, 98], [75, 116], [146, 126], [222, 134]];
export async function newRound(page) {
    await page.bringToFront();
    await page.$eval("#newgame", (b) => b.click());
    await page.waitForSelector("dialog[open]");
    await page.keyboard.type("0");
    await page.keyboard.press("Enter");  // Enter is OK
}
// person: one rat at a time, each pressed a person's reaction after it is seen
// (ex-Gaussian, mu 230, sigma 30, tau 60 ms, the person model's figures) and the
// hand's move by Fitts' law (-107 + 223 ms a bit) later, as the table places;
// otherwise each rat is pressed as soon as it is seen, as no person can.
export async function playRound(page, seeing, pollMs = 10, person = false) {
    const bare = await page.evaluate((holes) => {
        const c = document.getElementById("field"), k = c.width / 437, x = c.getContext("2d");
        window.person = null;
        window.rows = () => holes.map(([hx, hy]) => Array.from(x.getImageData((hx + 14) * k, (hy + 45) * k, 28 * k, 1).data).join());
        window.press = (fx, fy) => {
            const r = c.getBoundingClientRect(), at = { clientX: r.left + fx * r.width / 437, clientY: r.top + fy * r.width / 437,
                                                        button: 0, buttons: 1, pointerType: "mouse", bubbles: true };
            for (const type of ["pointermove", "pointerdown", "pointerup"]) c.dispatchEvent(new PointerEvent(type, at));
        };
        return window.rows();
    }, HOLES);
    for (let end = Date.now() + 25000; Date.now() < end;) {
        if (await page.$("dialog[open]")) return page.$eval("#box-title", (t) => t.textContent);
        await page.evaluate((holes, bareRows, seeing, person) => {
            const now = window.rows();
            if (!person) {
                holes.forEach(([hx, hy], i) => { if (!seeing || now[i] !== bareRows[i]) window.press(hx + 28, hy + 48); });
                return;
            }
            const p = window.person ??= { shown: holes.map(() => false), at: [200, 150], pressed: -1, pressedAt: 0, due: null };
            const t = performance.now();
            if (p.due && t >= p.due.at) {
                const [hx, hy] = holes[p.due.hole];
                window.press(hx + 28, hy + 48);
                Object.assign(p, { at: [hx + 28, hy + 48], pressed: p.due.hole, pressedAt: t, due: null });
            }
            holes.forEach(([hx, hy], i) => {
                const up = now[i] !== bareRows[i];
                // The hand drawn over the hole it pressed is no rat.
                if (up && !p.shown[i] && !p.due && !(i === p.pressed && t - p.pressedAt < 600)) {
                    const normal = Math.sqrt(-2 * Math.log(1 - Math.random())) * Math.cos(2 * Math.PI * Math.random());
                    const bits = Math.log2(Math.hypot(hx + 28 - p.at[0], hy + 48 - p.at[1]) / 30 + 1);
                    p.due = { hole: i, at: t + 230 + 30 * normal - 60 * Math.log(1 - Math.random()) + Math.max(60, -107 + 223 * bits) };
                }
                p.shown[i] = up;
            });
        }, HOLES, bare, seeing, person);
        await new Promise((r) => setTimeout(r, pollMs));
    }
    return "no box";
}
// Both tabs answer their "Top 5" boxes at the same moment.
export const answer = (page, initials) => page.evaluate((text) => {
    document.getElementById("box-input").value = text;
    document.getElementById("box-ok").click();
}, initials);
// Polled: waiting for a selector in a tab in the background waits for frames it never draws.
export const settled = async (page) => {
    for (let end = Date.now() + 10000; Date.now() < end; await new Promise((r) => setTimeout(r, 100))) {
        if (await page.$eval("#save", (a) => !a.hidden)) return true;
    }
    return false;
};
