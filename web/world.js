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
    const SEND_KEY = "Bopatron/world", START_WAIT_MS = 2000, REQUEST_MS = 10000;
    const BATCH_MS = 1000, MOST_BACKOFF_MS = 15000, BOARDS_MS = 30000;
    const $ = (id) => document.getElementById(id);
    let game = null, ask = null, idle = () => true;
    let session = null;     // the world session this visit's rounds go to, while sending
    let inFlight = false, retryAt = 0, backoff = BATCH_MS, stopped = false;
    let answeredRound = 0;    // the last round whose verdict came
    const typed = new Set();  // rounds whose initials went into the game's own "Top 5" box
    const toAsk = [];         // records placed on a world board only, whose initials are asked once

    function status(text) { $("world-status").textContent = text; }

    function ordinal(n) {
        const tens = n % 100, ones = n % 10;
        return n + (tens >= 11 && tens <= 13 ? "th" : ones === 1 ? "st" : ones === 2 ? "nd" : ones === 3 ? "rd" : "th");
    }

    // A GET or POST under /api/ with a time limit; resolves to [status, answer] or throws when unreachable.
    async function api(path, options = {}, ms = REQUEST_MS) {
        const response = await fetch(`/api/${path}`, { ...options, signal: AbortSignal.timeout(ms), cache: "no-store" });
        let answer = {};
        try { answer = await response.json(); } catch { /* not JSON: the status says enough */ }
        return [response.status, answer];
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

    // What a verdict says: "3rd today, 1st of all time", "not in the top 5", or why it was refused.
    function verdictText(v) {
        if (v.placed) {
            const places = [];
            if (typeof v.ranks?.today === "number") places.push(`${ordinal(v.ranks.today)} today`);
            if (typeof v.ranks?.all === "number") places.push(`${ordinal(v.ranks.all)} of all time`);
            return places.join(", ");
        }
        if (v.refused) return `not placed: ${v.message}`;
        return "not in the top 5";
    }

    function stop(text) {
        stopped = true;
        status(text);
    }

    // The next batch: every line the server has not taken, and the claim due, if any.
    function send(keepalive = false) {
        if (!session || stopped || inFlight || !(game._web_world_state() & 2) || performance.now() < retryAt) return;
        const at = game._web_world_next();
        const [from, , round, score, bytes] = [0, 1, 2, 3, 4].map((i) => game._web_world_batch(i));
        const body = game.HEAPU8.slice(at, at + bytes);
        const claim = round > 0 ? `&round=${round}&score=${score}` : "";
        inFlight = true;
        api(`sessions/${session}/lines?from=${from}${claim}`,
            { method: "POST", body, keepalive, headers: { "Content-Type": "text/plain" } })
            .then(([code, answer]) => answered(code, answer, round), (error) => failed(round, `no answer: ${error.name}`))
            .finally(() => {
                inFlight = false;
                if (game._web_world_state() & 1) send();
            });
    }

    function answered(code, answer, round) {
        if (code === 200) {
            if (backoff > BATCH_MS) status("The world table is on: your rounds are sent as you play.");
            backoff = BATCH_MS;
            retryAt = 0;
            game._web_world_taken(typeof answer.lines === "number" ? answer.lines : game._web_world_batch(1));
            if (round > 0) verdict(round, answer);
        } else if (code === 409 && typeof answer.expected === "number") {
            game._web_world_expect(answer.expected);
        } else if (code === 400 || code === 404 || code === 413) {
            stop(`The world table is off: ${answer.message ?? `it answered ${code}`}.`);
        } else {
            failed(round, answer.message ?? `it answered ${code}`);
        }
    }

    // Unreachable, busy or failing: the same lines again later, and the player told what waits.
    function failed(round, why) {
        retryAt = performance.now() + backoff;
        const seconds = Math.round(backoff / 1000);
        backoff = Math.min(backoff * 2, MOST_BACKOFF_MS);
        const ended = game._web_world_rounds();
        const unsent = ended > answeredRound ? ` Round ${ended} is unsent.` : "";
        status(`The world table cannot be reached (${why}).${unsent} Trying again in ${seconds} s.`);
    }

    function verdict(round, answer) {
        answeredRound = Math.max(answeredRound, round);
        status(`Round ${round}: ${verdictText(answer)}.`);
        if (answer.placed && !typed.has(round)) toAsk.push(answer.record);
        refresh();
        askInitials();
    }

    // Asked once a round, between rounds, in the game's kind of box.
    async function askInitials() {
        if (toAsk.length === 0 || !idle()) return;
        const record = toAsk.shift();
        const initials = await ask("Your round made the world's Top 5!!! Enter your initials.", "World Top 5", 3);
        if (initials === null) return;
        try {
            const [code, answer] = await api(`records/${encodeURIComponent(record)}/initials`,
                                             { method: "POST", body: JSON.stringify({ initials }), headers: { "Content-Type": "application/json" } });
            if (code !== 200) status(`Your initials were not kept: ${answer.message ?? `the table answered ${code}`}.`);
        } catch (error) {
            status(`Your initials were not kept: the world table did not answer (${error.name}).`);
        }
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
    // (not a demo) with sending chosen, takes a session: its seed, as a decimal string, or null.
    async function begin(module, options) {
        ({ ask, idle } = options);
        game = module;
        const deadline = performance.now() + START_WAIT_MS;
        if (!navigator.onLine) return null;
        try {
            // The page's own server says whether it keeps a world table: any other asks nothing more.
            const page = await fetch(location.pathname, { method: "HEAD", cache: "no-store", signal: AbortSignal.timeout(START_WAIT_MS) });
            if (page.headers.get("Bopatron-World") !== "/api/") return null;
        } catch {
            return null;  // offline, or the server did not answer: no panel
        }
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
            return null;
        }
        send_.addEventListener("change", () => choose(send_.checked));
        if (!send_.checked) {
            status("Your rounds stay on this device.");
            return null;
        }
        try {
            const [code, answer] = await api("sessions", { method: "POST" }, Math.max(1, deadline - performance.now()));
            if (code !== 200 || typeof answer.session !== "string" || !/^\d+$/.test(answer.seed ?? ""))
                throw new Error(answer.message ?? `it answered ${code}`);
            session = answer.session;
            status("The world table is on: your rounds are sent as you play.");
            setInterval(() => { send(); askInitials(); }, BATCH_MS);
            addEventListener("pagehide", () => send(true));
            return answer.seed;
        } catch (error) {
            status(`The world table is off for this visit: ${error.name === "TimeoutError" ? "it did not answer in time" : error.message}.`);
            return null;
        }
    }

    // A record being watched: the panel says whose it is.
    async function watching(path) {
        const id = /^\/api\/records\/(\d+)\/demo$/.exec(path)?.[1];
        if (!id) return;
        try {
            const [code, r] = await api(`records/${id}`);
            if (code === 200) status(`Watching record ${id}: ${r.initials}, ${r.score}, ${String(r.at).slice(0, 10)}.`);
        } catch { /* the demo says if it cannot be read */ }
    }

    return {
        begin,
        // After each tick of the player's game: a round's first or last tick goes out at once.
        ticked() { if (session && game._web_world_state() & 1) send(); },
        // The game asked for initials in its own box: this round needs no other.
        typedInGame() { if (session) typed.add(game._web_world_rounds() + 1); },
        demoEnded(path) {
            const id = /^\/api\/records\/(\d+)\/demo$/.exec(path)?.[1];
            if (id && !$("world").hidden) status(`Record ${id} played to its end.`);
        },
    };
})();
