// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The world table on the page, when the page comes from a bopatron-server
// (its protocol under /api/ of the page's own origin; docs/WORLD.md): the
// "World" panel with today's and the all-time boards, each record a click
// from being watched, and, when the player ticked the box, the session's
// demo streamed to the server with each round's verdict shown. No tick,
// press or box waits on a request: every one runs beside the game.
"use strict";

const World = (() => {
    const SEND_KEY = "Bopatron/world", START_WAIT_MS = 2000, REQUEST_MS = 10000, PUMP_MS = 100, BOARDS_MS = 30000;
    const $ = (id) => document.getElementById(id);
    let game = null, ask = null, idle = () => true;
    let session = false;      // this visit's rounds go to the world table
    let inFlight = false, stopped = false;

    function status(text) { $("world-status").textContent = text; }

    // A GET under /api/ with a time limit; resolves to [status, answer] or throws when unreachable.
    async function api(path, options = {}, ms = REQUEST_MS) {
        const response = await fetch(`/api/${path}`, { ...options, signal: AbortSignal.timeout(ms), cache: "no-store" });
        let answer = {};
        try { answer = await response.json(); } catch { /* not JSON: the status says enough */ }
        return [response.status, answer];
    }

    // Carries a request of the game's world client (method, path, type and time limit
    // a line each, then the body); resolves to [status, body], status 0 when none came.
    async function carry(pointer, keepalive = false) {
        const text = game.UTF8ToString(pointer);
        const parts = text.split("\n", 4);
        const body = text.slice(parts.join("\n").length + 1);
        try {
            const response = await fetch(`/api/${parts[1]}`, {
                method: parts[0], body, keepalive, headers: { "Content-Type": parts[2] },
                signal: AbortSignal.timeout(Number(parts[3])), cache: "no-store" });
            return [response.status, await response.text()];
        } catch {
            return [0, ""];
        }
    }

    // Calls the game's world client with a number and a text, as the C string it reads.
    // (ccall would put the text on the game's stack, which a box open inside a handler holds.)
    function withText(call, number, text, ...rest) {
        const size = game.lengthBytesUTF8(text) + 1, at = game._malloc(size);
        game.stringToUTF8(text, at, size);
        try { return call(number, at, ...rest); } finally { game._free(at); }
    }

    // One board as rows of text cells; initials and everything else from the server are text.
    function render(board, records) {
        const body = $(`world-${board}`);
        body.replaceChildren();
        for (const r of records) {
            const row = body.insertRow();
            for (const text of [r.rank, r.initials, r.score, String(r.at).slice(0, 10)]) row.insertCell().textContent = text;
            const watch = document.createElement("a");
            watch.href = `?demo=/api/records/${encodeURIComponent(r.record)}/demo`;
            watch.textContent = "Watch";
            row.insertCell().append(watch);
        }
        if (records.length === 0) body.insertRow().insertCell().textContent = "No record yet";
    }

    async function boards(ms = REQUEST_MS) {
        const shown = await Promise.all(["today", "all"].map(async (board) => {
            const [code, records] = await api(`top?board=${board}&n=5`, {}, ms);
            if (code !== 200 || !Array.isArray(records)) return false;
            render(board, records);
            return true;
        }));
        return shown.every(Boolean);
    }

    function refresh() { boards().catch(() => {}); }

    // Says what the world client has to tell, in its words; after a verdict, the
    // initials of a round placed on a world board only may be asked.
    function tell() {
        for (const line of game.UTF8ToString(game._web_world_notices()).split("\n")) {
            if (!line) continue;
            const [kind, , , , ...words] = line.split("\t");
            status(words.join("\t"));
            if (kind === "off") stopped = true;
            if (kind === "verdict") {
                refresh();
                askInitials();
            }
        }
    }

    function stop(text) {
        stopped = true;
        status(text);
    }

    // Sends the batch the world client says is due, if any.
    function pump(keepalive = false) {
        if (!session || stopped || inFlight || !(game._web_world_state() & 4)) return;
        const request = game._web_world_due(Date.now());
        if (!game.HEAPU8[request]) return;
        inFlight = true;
        carry(request, keepalive).then(([code, body]) => {
            withText(game._web_world_answered, code, body, Date.now());
            inFlight = false;
            tell();
            if (game._web_world_state() & 1) pump();
        });
    }

    // The world client's box for a record its board took and the game's own table did not:
    // asked once, between rounds, in the game's kind of box.
    async function askInitials() {
        if (!idle()) return;
        const record = game._web_world_initials_to_ask();
        if (!record) return;
        const text = (pointer) => game.UTF8ToString(pointer);
        const initials = await ask(text(game._web_world_initials_prompt()), text(game._web_world_initials_title()),
                                   game._web_world_initials_length());
        if (initials === null) return;
        const [code, body] = await carry(withText(game._web_world_initials_request, record, initials));
        const said = text(withText(game._web_world_initials_answered, code, body));
        if (said) status(said);
        refresh();
    }

    function chosen() {
        try { return localStorage.getItem(SEND_KEY) === "1"; } catch { return false; }
    }

    function choose(on) {
        try { localStorage.setItem(SEND_KEY, on ? "1" : "0"); } catch { /* not remembered */ }
        if (!on) {
            if (session) stop("Your rounds are no longer sent.");
            return;
        }
        // The seed comes from the server before the game starts: between rounds, start again with one.
        if (idle()) location.reload();
        else status("Your rounds are sent from the next time the page opens.");
    }

    // Shows the panel when the page's server keeps a world table. For the player's own game
    // (not a demo) with sending chosen, takes a session; true when the table took it.
    // The page's own server says whether it keeps a world table: in the answer that brought the
    // page (Server-Timing, which a page may read), or, for a page the service worker kept or a
    // browser that does not show it, in a HEAD of itself. Any other server is asked nothing more.
    async function servedByWorld() {
        const page = performance.getEntriesByType("navigation")[0];
        if (Array.isArray(page?.serverTiming) && !navigator.serviceWorker?.controller)
            return page.serverTiming.some((entry) => entry.name === "bopatron-world");
        try {
            const head = await fetch(location.pathname, { method: "HEAD", cache: "no-store", signal: AbortSignal.timeout(START_WAIT_MS) });
            return head.headers.get("Bopatron-World") === "/api/";
        } catch {
            return false;  // offline, or the server did not answer: no panel
        }
    }

    async function begin(module, options) {
        ({ ask, idle } = options);
        game = module;
        const deadline = performance.now() + START_WAIT_MS;
        if (!navigator.onLine) return false;
        if (!(await servedByWorld())) return false;
        $("world").hidden = false;
        window.dispatchEvent(new Event("resize"));  // the field makes room for the panel
        // The boards come beside the seed, not before it.
        boards(Math.max(1, deadline - performance.now())).then((shown) => shown || status("The world table sends no boards."),
                                                               () => status("The world table does not answer."));
        document.addEventListener("visibilitychange", () => { if (document.visibilityState === "visible") refresh(); });
        setInterval(() => { if (document.visibilityState === "visible") refresh(); }, BOARDS_MS);
        const send_ = $("world-send");
        send_.checked = chosen();
        if (options.watching) {
            send_.disabled = true;
            watching(options.watching);
            return false;
        }
        send_.addEventListener("change", () => choose(send_.checked));
        if (!send_.checked) {
            status("Your rounds stay on this device.");
            return false;
        }
        const [code, body] = await carry(game._web_world_session_request());
        if (!withText(game._web_world_begin, code, body)) {
            tell();
            return false;
        }
        session = true;
        tell();
        setInterval(() => { pump(); askInitials(); }, PUMP_MS);
        addEventListener("pagehide", () => pump(true));
        return true;
    }

    // A record being watched: the panel says whose it is, and how fast its whacks came.
    async function watching(path) {
        const id = /^\/api\/records\/(\d+)\/demo$/.exec(path)?.[1];
        if (!id) return;
        try {
            const [code, r] = await api(`records/${id}`);
            if (code !== 200) return;
            // How fast its whacks came, as the table measured them in its replay.
            const x = r.reactions;
            const pace = x && x.whacks > 0
                ? ` ${x.whacks} whacks, ${x.medianMs} ms from a rat showing to its whack at the median, the fastest ${x.fastestMs} ms` +
                  (x.underFloor ? `, ${x.underFloor} sooner than 100 ms.` : ".")
                : "";
            status(`Watching record ${id}: ${r.initials}, ${r.score}, ${String(r.at).slice(0, 10)}.${pace}`);
        } catch { /* the demo says if it cannot be read */ }
    }

    return {
        begin,
        // After each tick of the player's game: a round's first or last tick goes out at once.
        // After each tick: what the tick has to tell (a round whose part came late left the table), and any urgent batch.
        ticked() {
            if (!session) return;
            tell();
            if (game._web_world_state() & 1) pump();
        },
        // "New Game" pressed: a value still on its way belongs to the round it abandons.
        newGame() { if (session) game._web_world_new_game(); },
        sending() { return session && !stopped; },
        // The round just started asks the table for its value; its first tick waits for the answer.
        async roundValue() {
            const request = game._web_world_value_request();
            if (!game.HEAPU8[request]) return;
            const ask = game._web_world_asked();
            const [code, body] = await carry(request);
            withText((status, at) => game._web_world_value(ask, status, at), code, body);
            tell();
        },
        // Whether the next tick may run: not while the round's value is on its way.
        tickMayRun() { return !session || game._web_world_tick_may_run() === 1; },
        demoEnded(path) {
            const id = /^\/api\/records\/(\d+)\/demo$/.exec(path)?.[1];
            if (id && !$("world").hidden) status(`Record ${id} played to its end.`);
        },
    };
})();
