// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The page's half of the browser host: it decodes the pictures and cues, runs
// the 20 ms clock, maps pointer events to field pixels, shows the boxes, keeps
// the high-score table in the site's storage, and draws each frame the game
// presents. The game's half is web_host.cpp, compiled to bopatron.wasm.
"use strict";

const FIELD_WIDTH = 437, FIELD_HEIGHT = 284, BOX_SHOWN_MS = 900;
const tickMs = () => game._web_tick_ms();  // the game's clock interval, the core's own
const WIDE = "(min-width: 760px)";
const TABLE_KEY = "Scores.txt", MUTE_KEY = "Bopatron/mute";
const PICTURES = ["Picmsk3.png", "Picimg3.png", "Picmsk2.png", "Picimg2.png", "Picmsk.png", "Picimg.png", "Picbak.png"];

const $ = (id) => document.getElementById(id);
const canvas = $("field"), button = $("newgame"), box = $("box"), mute = $("mute"), save = $("save");
// The canvas holds the field's own pixels; the page shows each as a block of
// whole device pixels (image-rendering: pixelated), so nothing is smoothed.
const screen = canvas.getContext("2d", { alpha: false });
const frame = screen.createImageData(FIELD_WIDTH, FIELD_HEIGHT);

let game = null;         // the compiled module
let busy = false;        // a handler runs (a box may be open inside it): ticks and input wait
let clock = null;        // the 20 ms interval while the game's clock is on
let showing = false;     // a demo is being shown: the player's input does nothing
let audio = null;        // made at the player's first press, as browsers require
const cueBytes = new Map(), cues = new Map();
let releaseLock = null;
let boxMs = 0;           // how long boxes have been open so far: the player's time, not the game's
let openedAt = 0;        // when the box open now opened

// Each sentence a line of its own on the page, never read as HTML.
function say(text) {
    const line = document.createElement("p");
    line.textContent = text;
    $("messages").append(line);
}

// The field at the largest whole number of device pixels per field pixel that fits the page.
function layout() {
    const ratio = window.devicePixelRatio || 1;
    const room = { width: document.documentElement.clientWidth, height: window.innerHeight - 60 };
    // The world panel stands beside the field on a wide screen (style.css), under it on a narrow one.
    if (!$("world").hidden && matchMedia(WIDE).matches) room.width -= $("world").offsetWidth + 24;
    const scale = Math.max(1, Math.floor(Math.min(room.width * ratio / FIELD_WIDTH, room.height * ratio / FIELD_HEIGHT)));
    const css = scale / ratio;  // CSS pixels per field pixel
    canvas.style.width = `${FIELD_WIDTH * css}px`;
    canvas.style.height = `${FIELD_HEIGHT * css}px`;
    Object.assign(button.style, { left: `${6 * css}px`, top: `${6 * css}px`, width: `${72 * css}px`,
                                  height: `${33 * css}px`, fontSize: `${11 * css}px` });
}

// One request on the site's store of files, settled when its transaction has.
let opened = null;
function request(make, mode) {
    opened ??= new Promise((resolve, reject) => {
        const open = indexedDB.open("Bopatron", 1);
        open.onupgradeneeded = () => open.result.createObjectStore("files");
        open.onsuccess = () => resolve(open.result);
        open.onerror = () => reject(open.error);
    });
    return opened.then((db) => new Promise((resolve, reject) => {
        const transaction = db.transaction("files", mode);
        const asked = make(transaction.objectStore("files"));
        transaction.oncomplete = () => resolve(asked.result);
        transaction.onerror = transaction.onabort = () => reject(transaction.error ?? asked.error);
    }));
}

// Calls into the game; a call that opens a box finishes when the box closes.
async function run(name, types = [], args = []) {
    busy = true;
    try {
        return await Promise.resolve(game.ccall(name, "number", types, args, { async: true }));
    } finally {
        busy = false;
    }
}

async function tick() {
    if (busy || !World.tickMayRun()) return;  // a tick that cannot run is dropped, never made up later
    const begun = performance.now(), boxedBefore = boxMs;
    await run("web_tick");
    World.ticked();
    // A round's last tick waits while the "Top 5" box is open: that is the player's time, not the tick's.
    performance.measure("bopatron-tick", { start: begun, duration: performance.now() - begun - (boxMs - boxedBefore) });
    if (!clock && !showing) offerSave();
}

function offerSave() {
    if (save.href) URL.revokeObjectURL(save.href);
    const text = game.UTF8ToString(game.ccall("web_demo_text", "number", [], []));
    save.href = URL.createObjectURL(new Blob([text], { type: "text/plain" }));
    save.download = `bopatron-${new Date().toISOString().replace(/[:.]/g, "-")}.dem`;
    save.hidden = false;
}

// Dialog boxes: the prompt, a text field, OK and Cancel.
function openBox(prompt, title, value, editable) {
    openedAt = performance.now();
    $("box-title").textContent = title ?? "Bopatron";
    $("box-prompt").textContent = prompt.replace(/\r/g, "\n");
    const input = $("box-input");
    input.value = value;
    input.readOnly = !editable;
    box.showModal();
    input.focus();
}

function closeBox() {
    boxMs += performance.now() - openedAt;
    box.close();
    button.focus();  // the button keeps the focus, as in the window
}

// A box that asks: resolves to the text typed (at most maxLength characters when given), or null when cancelled.
function askBox(prompt, title, maxLength) {
    openBox(prompt, title, "", true);
    const input = $("box-input");
    if (maxLength) input.maxLength = maxLength;
    else input.removeAttribute("maxlength");
    return new Promise((resolve) => {
        const done = (answer) => {
            $("box-ok").onclick = $("box-cancel").onclick = box.oncancel = input.onkeydown = null;
            closeBox();
            resolve(answer);
        };
        $("box-ok").onclick = () => done(input.value);
        $("box-cancel").onclick = () => done(null);
        box.oncancel = (event) => { event.preventDefault(); done(null); };  // Escape
        input.onkeydown = (event) => {
            if (event.key !== "Enter") return;
            event.preventDefault();  // or the Enter would go on to press "New Game"
            done(input.value);
        };
    });
}

window.Bopatron = {
    setClock(on) {
        if (on && !clock) clock = setInterval(tick, tickMs());
        if (!on && clock) clock = (clearInterval(clock), null);
    },
    setPointer(code) { canvas.style.cursor = code === 99 ? "none" : "default"; },
    inputBox(prompt, title) {
        return askBox(prompt, title);
    },
    showAnswer(prompt, title, answer) {
        openBox(prompt, title, answer, false);
        return new Promise((resolve) => setTimeout(() => { closeBox(); resolve(); }, BOX_SHOWN_MS));
    },
    playCue(path) {
        const buffer = cues.get(path.slice(path.lastIndexOf("/") + 1));
        if (!audio || !buffer || mute.checked) return;
        const source = audio.createBufferSource();
        source.buffer = buffer;
        source.connect(audio.destination);
        source.start();
        performance.mark("bopatron-cue", { detail: path });
    },
    message: say,
    // The table as the file's bytes, one character each, in the site's
    // IndexedDB: unlike localStorage, what one tab has written is what the
    // next transaction of any tab reads. A value that is not such a table, or
    // storage that cannot be used, is left alone.
    async readTable() {
        let text;
        try {
            text = await request((files) => files.get(TABLE_KEY), "readonly");
        } catch (error) {
            return { status: 2, text: `the site's storage cannot be used (${error.name})` };
        }
        if (text === undefined) return { status: 1, text: "" };
        if (typeof text !== "string" || /[^\x00-\xff]/.test(text)) return { status: 2, text: "it holds something that is not a table" };
        return { status: 0, text };
    },
    async replaceTable(text) {
        try {
            await request((files) => files.put(text, TABLE_KEY), "readwrite");
            return "";
        } catch (error) {
            return `the site's storage refused it (${error.name})`;
        }
    },
    // Two tabs finishing at once take turns: each reads the table again under the lock.
    lockTable() {
        if (!navigator.locks) return Promise.resolve(true);
        return new Promise((resolve) => {
            let late = false;
            const timer = setTimeout(() => { late = true; resolve(false); }, 3000);
            navigator.locks.request("Bopatron/Scores.txt", () => {
                if (late) return undefined;
                clearTimeout(timer);
                resolve(true);
                return new Promise((release) => { releaseLock = release; });
            });
        });
    },
    unlockTable() {
        if (releaseLock) releaseLock();
        releaseLock = null;
    },
    present(rgba) {
        frame.data.set(rgba);
        screen.putImageData(frame, 0, 0);
    },
};

// The pointer over the field in field pixels, as the desktop maps it: fractional inside a pixel.
function field(event) {
    const r = canvas.getBoundingClientRect();
    const css = r.width / FIELD_WIDTH;
    return [(event.clientX - r.left) / css, (event.clientY - r.top) / css];
}
const shift = (e) => (e.shiftKey ? 1 : 0) | (e.ctrlKey ? 2 : 0) | (e.altKey ? 4 : 0);
const BUTTON_CODES = [1, 4, 2];  // left, middle, right

function mouse(kind, event, buttonCode) {
    if (busy || showing || !game) return;
    game.ccall("web_mouse", "number", ["number", "number", "number", "number", "number"],
               [kind, buttonCode, shift(event), ...field(event)]);
}

canvas.addEventListener("pointermove", (e) => mouse(0, e, e.buttons & 7));
canvas.addEventListener("pointerdown", (e) => {
    startAudio();
    try { canvas.setPointerCapture(e.pointerId); } catch { /* a pointer already gone */ }
    if (e.pointerType !== "mouse") mouse(0, e, 0);  // a tap: the hand comes to it, then whacks
    mouse(1, e, BUTTON_CODES[e.button] ?? 1);
});
canvas.addEventListener("pointerup", (e) => mouse(2, e, BUTTON_CODES[e.button] ?? 1));
canvas.addEventListener("contextmenu", (e) => e.preventDefault());

button.addEventListener("click", async () => {
    startAudio();
    if (busy || showing) return;
    World.newGame();
    await run("web_click");
    // Sent to a world table, the round's rats come from its value: the first tick waits for it.
    if (clock && World.sending()) World.roundValue();
});
document.addEventListener("keydown", (e) => {
    startAudio();
    if (e.ctrlKey && (e.key === "m" || e.key === "M")) {
        e.preventDefault();
        mute.checked = !mute.checked;
        mute.dispatchEvent(new Event("change"));
    }
});
mute.addEventListener("change", () => {
    try { localStorage.setItem(MUTE_KEY, mute.checked ? "1" : "0"); } catch { /* not remembered */ }
});

// Sound starts with the player's first press: the cues are fetched once the field is up and
// decoded then.
function startAudio() {
    if (audio || !window.AudioContext) return;
    audio = new AudioContext();
    for (const [name, bytes] of cueBytes) decodeCue(name, bytes);
}

function decodeCue(name, bytes) {
    audio.decodeAudioData(bytes.slice(0)).then((buffer) => cues.set(name, buffer), () => say(`${name} cannot be played.`));
}

// The cues, after what the first frame needs: files.json names each cue's compressed file.
// One not yet arrived is silent, as a missing one is.
function fetchCues() {
    fetch("files.json").then((r) => r.json()).then((files) => Object.entries(files.cues).forEach(([name, file]) =>
        fetchBytes(file).then((bytes) => {
            cueBytes.set(name, bytes.buffer);
            if (audio) decodeCue(name, bytes.buffer);
        }, () => say(`${file} cannot be read: ${name} is not heard.`))));
}

// Once the field is up: the cues, and the service worker that keeps the site for offline play.
function afterFirstFrame() {
    fetchCues();
    if ("serviceWorker" in navigator) navigator.serviceWorker.register("sw.js").catch(() => {});
}

async function fetchBytes(url) {
    const response = await fetch(url);
    if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
    return new Uint8Array(await response.arrayBuffer());
}

// Each picture decoded by the browser, exactly: no colour management, no premultiplying.
async function loadPicture(name) {
    try {
        const blob = new Blob([await fetchBytes(`assets/${name}`)]);
        const bitmap = await createImageBitmap(blob, { colorSpaceConversion: "none", premultiplyAlpha: "none" });
        const scratch = document.createElement("canvas");
        scratch.width = bitmap.width;
        scratch.height = bitmap.height;
        const context = scratch.getContext("2d");
        context.drawImage(bitmap, 0, 0);
        const rgba = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
        const at = game._malloc(rgba.length);
        game.HEAPU8.set(rgba, at);
        game.ccall("web_picture", null, ["string", "number", "number", "number"], [name, bitmap.width, bitmap.height, at]);
        game._free(at);
    } catch {
        // The game says which picture is missing and what the player will see.
    }
}

async function start() {
    layout();
    window.addEventListener("resize", layout);
    matchMedia(`(resolution: ${window.devicePixelRatio}dppx)`).addEventListener("change", layout);
    try { mute.checked = localStorage.getItem(MUTE_KEY) === "1"; } catch { /* the default */ }
    game = await createBopatron({ print: (line) => console.log(line), printErr: (line) => console.warn(line) });
    game.FS.mkdir("/game");
    const params = new URLSearchParams(location.search);
    const demo = params.get("timedemo") ?? params.get("demo");
    // The world panel, when this page's server keeps a world table, and the seed it gives
    // when the player chose to send their rounds: asked while the pictures load.
    const world = params.has("timedemo") ? Promise.resolve(false) : World.begin(game, {
        ask: askBox,
        idle: () => !clock && !busy && !showing && !box.open,
        watching: demo,
    });
    await Promise.all([
        ...PICTURES.map(loadPicture),
        fetchBytes("assets/whack_img.spr").then((bytes) => game.FS.writeFile("/game/whack_img.spr", bytes), () => {}),
    ]);

    if (demo !== null) {
        let text;
        try {
            text = await fetchBytes(demo);
        } catch (error) {
            say(`${demo}: cannot be read (${error.message})`);
            return;
        }
        game.FS.writeFile("/demo.dem", text);
        if (params.has("timedemo")) {
            const out = game.UTF8ToString(game.ccall("web_timedemo", "number", ["string"], ["/demo.dem"])).trimEnd();
            $("result").textContent = out;
            return;
        }
        showing = true;
        if (!(await run("web_start", ["string"], ["/demo.dem"]))) return;
        afterFirstFrame();
        const step = setInterval(async () => {
            if (busy) return;
            if (!(await run("web_step"))) {
                clearInterval(step);
                World.demoEnded(demo);
            }
        }, tickMs());
        return;
    }
    await world;  // the world table's session, when the player sends their rounds: its seed starts the game
    await run("web_start", ["number"], [0]);
    button.disabled = false;
    button.focus();
    afterFirstFrame();
}

start();
