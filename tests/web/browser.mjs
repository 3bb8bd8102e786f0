// The browser the web tests drive: Debian's Chromium, headless, through
// playwright-core (which never downloads a browser of its own), on the built
// page served by the test itself on 127.0.0.1.

import { createRequire } from "node:module";
import { mkdtemp, rm } from "node:fs/promises";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));
export const repo = path.resolve(here, "../..");
export const siteDir = process.env.VELNARI_WEB_DIR ?? path.join(repo, "build/web");

// The page's own packages, installed by npm in web/.
const requireWeb = createRequire(path.join(repo, "web/package.json"));
const { chromium } = requireWeb("playwright-core");
const { serveFolder } = await import(path.join(repo, "web/serve.mjs"));

// Starts the server and the browser; `close()` ends both and removes the
// browser's profile folder.
export async function openBrowser() {
    const server = await serveFolder(siteDir);
    const profile = await mkdtemp(path.join(os.tmpdir(), "velnari-chromium-"));
    const context = await chromium.launchPersistentContext(profile, {
        executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
        headless: true,
        acceptDownloads: true,
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
    const base = `http://127.0.0.1:${server.address().port}/`;
    return {
        context,
        base,
        async close() {
            await context.close();
            await new Promise((resolve) => server.close(resolve));
            await rm(profile, { recursive: true, force: true });
        },
    };
}

// Opens the page (with an optional fragment) and waits until it has compiled
// its first song. Console errors and page errors are collected in `errors`.
export async function openPage(browser, fragment = "") {
    const page = await browser.context.newPage();
    const errors = [];
    page.on("console", (m) => {
        if (m.type() === "error") errors.push(m.text());
    });
    page.on("pageerror", (e) => errors.push(String(e)));
    await page.goto(browser.base + fragment);
    await page.waitForSelector("body[data-ready=true]", { timeout: 20000 });
    return { page, errors };
}
