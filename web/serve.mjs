// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// Serves a folder on 127.0.0.1 for playing and testing the site: any static
// web server does as well. Usage: node serve.mjs FOLDER [PORT]
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import { extname, join, normalize } from "node:path";

const TYPES = {
    ".html": "text/html; charset=utf-8", ".js": "text/javascript", ".mjs": "text/javascript", ".css": "text/css",
    ".json": "application/json", ".webmanifest": "application/manifest+json", ".wasm": "application/wasm",
    ".png": "image/png", ".wav": "audio/wav", ".mp3": "audio/mpeg", ".spr": "application/octet-stream", ".dem": "text/plain",
};
const [folder, port = "8000"] = process.argv.slice(2);

createServer(async (request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, "http://x").pathname)).replace(/^(\.\.[/\\])+/, "");
    const file = join(folder, path.endsWith("/") ? `${path}index.html` : path);
    try {
        const body = await readFile(file);
        response.writeHead(200, { "Content-Type": TYPES[extname(file)] ?? "application/octet-stream", "Cache-Control": "no-cache" });
        response.end(body);
    } catch {
        response.writeHead(404, { "Content-Type": "text/plain" });
        response.end("not found\n");
    }
}).listen(Number(port), "127.0.0.1", () => console.log(`Bopatron: http://127.0.0.1:${port}/`));
