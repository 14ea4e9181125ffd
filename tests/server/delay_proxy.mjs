// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// A proxy in front of a world table that slows the way there and back, as a
// slow network (or a cheater holding batches back) would. Every request waits
// --each ms before it goes on and its answer --each ms before it comes back;
// with --hold=MS --hold-at=T, the batches of lines that come from T ms after
// the first round value was asked for wait until T + MS (held back once).
// --rounds-only slows only the rounds' requests (their values and lines): a
// page and its session come at once.
// Prints "listening on http://127.0.0.1:PORT/" when it is ready.
// usage: node delay_proxy.mjs --to=URL [--each=MS] [--hold=MS --hold-at=T] [--rounds-only]
import http from "node:http";

const options = { each: "0", hold: "0", "hold-at": "0" };
for (const arg of process.argv.slice(2)) {
    const [key, value] = arg.replace(/^--/, "").split(/=(.*)/s);
    options[key] = value ?? "yes";
}
const to = new URL(options.to), each = Number(options.each), hold = Number(options.hold), holdAt = Number(options["hold-at"]);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, Math.max(0, ms)));
let firstValue = null;
// The headers that go on, both ways: all but those of the connection they came on.
const carried = (headers) => Object.fromEntries(Object.entries(headers).filter(([name]) =>
    !["host", "connection", "keep-alive", "transfer-encoding", "content-length"].includes(name)));

const server = http.createServer(async (request, response) => {
    const chunks = [];
    for await (const chunk of request) chunks.push(chunk);
    if (firstValue === null && request.url.endsWith("/rounds")) firstValue = Date.now();
    const slowed = !options["rounds-only"] || /\/(rounds|lines)(\?|$)/.test(request.url);
    if (slowed) await sleep(each);
    if (hold && firstValue !== null && request.url.includes("/lines")) {
        const since = Date.now() - firstValue;
        if (since >= holdAt && since < holdAt + hold) await sleep(holdAt + hold - since);
    }
    const upstream = http.request({ host: to.hostname, port: to.port, path: request.url, method: request.method,
                                    headers: carried(request.headers) }, async (answer) => {
        const body = [];
        for await (const chunk of answer) body.push(chunk);
        if (slowed) await sleep(each);
        response.writeHead(answer.statusCode, carried(answer.headers));
        response.end(Buffer.concat(body));
    });
    upstream.on("error", () => { response.writeHead(502); response.end(); });
    upstream.end(Buffer.concat(chunks));
});
server.keepAliveTimeout = 60000;
server.listen(0, "127.0.0.1", () => console.log(`listening on http://127.0.0.1:${server.address().port}/`));
