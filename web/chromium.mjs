// Debian's Chromium, headless, driven by playwright-core (which never
// downloads a browser of its own), on a folder served on 127.0.0.1. Used by
// the browser tests and by measure.mjs.

import { chromium } from "playwright-core";
import { mkdtemp, rm } from "node:fs/promises";
import os from "node:os";
import path from "node:path";
import { serveFolder } from "./serve.mjs";

// Serves `dir` and starts the browser with a new, empty profile. `close()`
// ends both and removes the profile.
export async function openBrowser(dir) {
    const server = await serveFolder(dir);
    const profile = await mkdtemp(path.join(os.tmpdir(), "velnari-chromium-"));
    const context = await chromium.launchPersistentContext(profile, {
        executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
        headless: true,
        acceptDownloads: true,
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
    return {
        context,
        base: `http://127.0.0.1:${server.address().port}/`,
        async close() {
            await context.close();
            await new Promise((resolve) => server.close(resolve));
            await rm(profile, { recursive: true, force: true });
        },
    };
}
