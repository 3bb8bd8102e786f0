// The built page in headless Chromium, served by the test itself.

import path from "node:path";
import { fileURLToPath } from "node:url";

export const repo = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../..");
const { openBrowser: openChromium } = await import(path.join(repo, "web/chromium.mjs"));

export const openBrowser = () => openChromium(process.env.VELNARI_WEB_DIR ?? path.join(repo, "build/web"));

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
