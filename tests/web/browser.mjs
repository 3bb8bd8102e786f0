// The built page in headless Chromium, served by the test itself.

import path from "node:path";
import { fileURLToPath } from "node:url";

export const repo = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../..");
const { openBrowser: openChromium } = await import(path.join(repo, "web/chromium.mjs"));
export const { serveFolder } = await import(path.join(repo, "web/serve.mjs"));

export const webDir = process.env.VELNARI_WEB_DIR ?? path.join(repo, "build/web");
export const openBrowser = () => openChromium(webDir);

// Opens the page (with an optional fragment) in a fresh profile, or in
// `options.context`, from `options.base`, and waits until it has compiled its
// first song. Console errors and page errors are collected in `errors`.
export async function openPage(browser, fragment = "", options = {}) {
    const context = options.context ?? (await browser.newContext());
    const page = await context.newPage();
    const errors = [];
    page.on("console", (m) => {
        if (m.type() === "error") errors.push(m.text());
    });
    page.on("pageerror", (e) => errors.push(String(e)));
    await page.goto((options.base ?? browser.base) + fragment);
    await page.waitForSelector("body[data-ready=true]", { timeout: 20000 });
    return { page, errors, context };
}
