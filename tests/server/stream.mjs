// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// Streams a recorded demo to a world table at the game's real pace, as an
// honest client would: a tick every 20 ms, a batch every second and at once
// after a round's first and last ticks, the claim with the round's close.
// Prints each verdict as a line of JSON.
// usage: node stream.mjs SERVER_URL SESSION DEMO_FILE SCORE
import { readFileSync } from "node:fs";

const [server, session, file, score] = process.argv.slice(2);
const lines = readFileSync(file, "utf8").split("\n").slice(0, -1);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
let sent = 0, round = 0, roundTicks = -1, closing = false;
const start = Date.now();
let ticks = 0;

async function send(upTo, claim) {
    let url = `${server}/api/sessions/${session}/lines?from=${sent}`;
    if (claim) url += `&round=${claim}&score=${score}`;
    const response = await fetch(url, { method: "POST", body: lines.slice(sent, upTo).map((l) => l + "\n").join("") });
    const answer = await response.json();
    if (response.status !== 200) throw new Error(`${response.status} ${JSON.stringify(answer)}`);
    sent = upTo;
    if (claim) console.log(JSON.stringify(answer));
}

let lastSend = Date.now();
for (let i = 0; i < lines.length; ++i) {
    const line = lines[i];
    if (line === "click") roundTicks = 0;
    if (line === "tick") {
        ++ticks;
        const due = start + 500 + ticks * 20;
        if (due > Date.now()) await sleep(due - Date.now());
        if (roundTicks >= 0 && ++roundTicks === 1000) closing = true;
        if (roundTicks === 1 || roundTicks === 1000 || Date.now() - lastSend >= 1000) {
            await send(i + 1);
            lastSend = Date.now();
        }
    } else if (closing && line.startsWith("checkpoint ")) {
        closing = false;
        await send(i + 1, ++round);
        lastSend = Date.now();
    }
}
if (sent < lines.length) await send(lines.length);
