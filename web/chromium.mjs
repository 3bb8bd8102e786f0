// Debian's Chromium, headless, driven by playwright-core (which never
// downloads a browser of its own), on a folder served on 127.0.0.1. Used by
// the browser tests and by measure.mjs.

import { chromium } from "playwright-core";
import { serveFolder } from "./serve.mjs";

// Serves `dir` and starts the browser. `newContext()` gives a fresh browser
// profile in it (its own storage, service workers and downloads); `context`
// is a first one. `close()` ends the browser and the server.
export async function openBrowser(dir) {
    const server = await serveFolder(dir);
    const browser = await chromium.launch({
        executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
        headless: true,
        // No background traffic: this machine reaches no network but loopback.
        args: [
            "--no-sandbox",
            "--disable-gpu",
            "--disable-quic",
            "--no-first-run",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--autoplay-policy=no-user-gesture-required",
        ],
    });
    const newContext = () => browser.newContext({ acceptDownloads: true });
    return {
        browser,
        context: await newContext(),
        newContext,
        server,
        base: `http://127.0.0.1:${server.address().port}/`,
        async close() {
            await browser.close();
            server.closeAllConnections();
            await new Promise((resolve) => server.close(resolve));
        },
    };
}
