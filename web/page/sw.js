// The page's service worker: it keeps a copy of every file of the page, so
// that a visit without a network still opens and plays it. Each request goes
// to the network first (so a new build is what a visit with a network gets,
// and the copy is refreshed with it) and falls back to the copy. The build
// writes the list of files and a version drawn from their contents into this
// file, so a new build also installs a new worker, which takes the complete
// copy of that build and drops the old one.

const kVersion = "__VERSION__";
const kFiles = __FILES__;
const kCache = `velnari-${kVersion}`;

self.addEventListener("install", (event) => {
    event.waitUntil(
        caches
            .open(kCache)
            .then((cache) => cache.addAll(kFiles))
            .then(() => self.skipWaiting()),
    );
});

self.addEventListener("activate", (event) => {
    event.waitUntil(
        caches
            .keys()
            .then((names) => Promise.all(names.filter((n) => n !== kCache).map((n) => caches.delete(n))))
            .then(() => self.clients.claim()),
    );
});

self.addEventListener("fetch", (event) => {
    const request = event.request;
    if (request.method !== "GET" || new URL(request.url).origin !== self.location.origin) return;
    event.respondWith(
        fetch(request)
            .then((response) => {
                if (response.ok) {
                    const copy = response.clone();
                    caches.open(kCache).then((cache) => cache.put(request, copy));
                }
                return response;
            })
            .catch(async () => (await caches.match(request, { ignoreSearch: true })) ?? Response.error()),
    );
});
