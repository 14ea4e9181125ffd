// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
// The service worker: keeps every file of the site, so that the game installs
// as an app and plays offline once loaded. files.json names the files and the
// version; a new version replaces the old files.
"use strict";

const listed = fetch("files.json", { cache: "no-store" }).then((r) => r.json());

self.addEventListener("install", (event) => {
    event.waitUntil(listed.then((files) => caches.open(files.version).then((cache) => cache.addAll(files.site))));
});

self.addEventListener("activate", (event) => {
    event.waitUntil(listed.then((files) => caches.keys().then((keys) =>
        Promise.all(keys.filter((key) => key !== files.version).map((key) => caches.delete(key))))));
});

// The site's own files from the cache, anything else (a demo) from the network; the world
// table's answers (under /api/) are never kept nor looked for in the cache.
self.addEventListener("fetch", (event) => {
    if (event.request.method !== "GET" || new URL(event.request.url).pathname.startsWith("/api/")) return;
    event.respondWith(caches.match(event.request, { ignoreSearch: true }).then((hit) => hit ?? fetch(event.request)));
});
