// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// A screen-reading bot, as any script can be: it looks at the window as fast
// as it can grab it and clicks a hole the moment something shows there that
// the empty field does not. The world table must hold its rounds. With
// WATCHER=person it clicks as the model of a person does (tools/bots), whose
// rounds the table places; with WATCHER=hammer it also presses about ten times a
// second where the pointer rests, as strong players do (a press that hits
// nothing costs nothing), and the table places those rounds too.
// usage: node watch_and_click.mjs WINDOW 0 EMPTY: grabs the field with no rat
//        up into the file EMPTY, as what an empty hole looks like;
//        node watch_and_click.mjs WINDOW SECONDS EMPTY: plays that long.
// DISPLAY is the game's.
import { execFileSync, spawn } from "node:child_process";
import { readFileSync, writeFileSync } from "node:fs";

const [window, seconds, emptyFile] = process.argv.slice(2);
// The foot of each hole's frames: inside every frame a rat shows there.
const holes = [[187, 48], [127, 79], [75, 116], [247, 58], [189, 90], [146, 126], [304, 66], [262, 98], [222, 134]]
    .map(([x, y]) => [x + 28, y + 50]);

function grab() {
    const ppm = execFileSync("import", ["-window", window, "-depth", "8", "ppm:-"], { maxBuffer: 1 << 24 });
    // P6 WIDTH HEIGHT 255, then the pixels.
    const header = ppm.toString("latin1", 0, 64).match(/^P6\s+(\d+)\s+(\d+)\s+(\d+)\s/);
    const width = Number(header[1]), start = header[0].length;
    // A small patch above each foot, as one number per hole.
    return holes.map(([x, y]) => {
        const patch = [];
        for (let dy = -12; dy <= 0; dy += 4)
            for (let dx = -4; dx <= 4; dx += 4) {
                const at = start + ((y + dy) * width + (x + dx)) * 3;
                patch.push(ppm[at], ppm[at + 1], ppm[at + 2]);
            }
        return patch;
    });
}

if (Number(seconds) === 0) {
    writeFileSync(emptyFile, JSON.stringify(grab()));
    process.exit(0);
}
const empty = JSON.parse(readFileSync(emptyFile, "utf8"));
const shows = (patch, hole) => patch.some((v, i) => Math.abs(v - empty[hole][i]) > 24);
// As a person would: one rat at a time, each a person's reaction after it is
// seen (ex-Gaussian, mu 230, sigma 30, tau 60 ms, the person model's figures)
// and the hand's move by Fitts' law (-107 + 223 ms a bit) later; the hand
// jumps there as a tap does. The hand drawn over a hole it pressed is no rat.
const hammer = process.env.WATCHER === "hammer", person = hammer || process.env.WATCHER === "person";
const normal = () => Math.sqrt(-2 * Math.log(1 - Math.random())) * Math.cos(2 * Math.PI * Math.random());
const personDelay = (from, to) => 230 + 30 * normal() - 60 * Math.log(1 - Math.random()) +
    Math.max(60, -107 + 223 * Math.log2(Math.hypot(to[0] - from[0], to[1] - from[1]) / 30 + 1));
const end = Date.now() + Number(seconds) * 1000;
let clicks = 0, shown = holes.map(() => false), pointer = [200, 150], pressed = -1, pressedAt = 0, due = null;
// Hammering where the hand rests, about ten presses a second (85 to 115 ms apart, as a
// hand varies), beside the looking, which takes longer than that: a process of its own
// that ends with this script.
let hammering = null;
const startHammering = () => {
    const loop = `
        const { execFile } = require("node:child_process");
        const [parent, window] = process.argv.slice(1);
        const press = () => {
            try { process.kill(Number(parent), 0); } catch { process.exit(0); }
            execFile("xdotool", ["click", "--window", window, "1"]);
            setTimeout(press, 85 + 30 * Math.random());
        };
        press();`;
    hammering = spawn(process.execPath, ["-e", loop, String(process.pid), window], { stdio: "ignore" });
};
const click = (hole) => {
    execFileSync("xdotool", ["mousemove", "--window", window, String(holes[hole][0]), String(holes[hole][1]), "click", "1"]);
    pointer = holes[hole];
    pressed = hole;
    pressedAt = Date.now();
    ++clicks;
};
while (Date.now() < end) {
    const seen = grab().map(shows);
    if (!person) {
        seen.forEach((up, hole) => up && click(hole));
        continue;
    }
    if (due && Date.now() >= due.at) {
        click(due.hole);
        due = null;
    }
    if (hammer && pressed >= 0 && !hammering) startHammering();
    seen.forEach((up, hole) => {
        // A rat where the hand hammers is the hammering's; the hand drawn there is no rat.
        const resting = hammer && hole === pressed;
        const fresh = up && !shown[hole] && !resting && !(hole === pressed && Date.now() - pressedAt < 600);
        if (fresh && !due) due = { hole, at: Date.now() + personDelay(pointer, holes[hole]) };
        shown[hole] = up;
    });
}
hammering?.kill();
console.log(`clicks=${clicks}`);
