// The figures of docs/web.md: the render speed of each example song as
// WebAssembly in Chromium (bench.html), and the size of what the page
// downloads, raw and gzip-compressed. Beside each speed, the same render by
// the native command line, the two taking turns five times over ten minutes
// of audio (long enough that the native process's start and compile, about
// 10 ms, cost it under 3 %); medians, and the median of the turns' ratios,
// which holds up on a busy machine too.
// Last, what the timeline and the editor's lights cost each time the song
// changes as it is typed: the notes listed by the module and the timeline
// drawn again (Sight.compiled), and the drawing alone, for each example in
// the page itself; medians of 15.
//   node web/measure.mjs [SITE_DIR [VELNARI]]   (default build/web, build/release/velnari)
//   VELNARI_MEASURE=timeline node web/measure.mjs   (the last table only)

import { execFileSync } from "node:child_process";
import { existsSync, openSync } from "node:fs";
import { readFile, readdir } from "node:fs/promises";
import path from "node:path";
import { gzipSync } from "node:zlib";
import { openBrowser } from "./chromium.mjs";

const site = path.resolve(process.argv[2] ?? "build/web");
const velnari = path.resolve(process.argv[3] ?? "build/release/velnari");
const examples = path.resolve(path.dirname(new URL(import.meta.url).pathname), "../examples");

const devNull = openSync("/dev/null", "w");

// Seconds of audio in each turn.
const kSeconds = 600;

// × real time of the command line rendering the song's first kSeconds
// (process start and compile included).
function nativeSpeed(song) {
    const start = process.hrtime.bigint();
    execFileSync(velnari, ["render", path.join(examples, song), "--seconds", String(kSeconds), "-o", "-"], {
        stdio: ["ignore", devNull, "inherit"],
    });
    return kSeconds / (Number(process.hrtime.bigint() - start) / 1e9);
}

// What a visit to the page loads: everything but the speed page.
let raw = 0;
let packed = 0;
console.log("| file | bytes | gzip -9 |\n|---|---|---|");
for (const name of (await readdir(site)).filter((n) => !n.startsWith("bench")).sort()) {
    const body = await readFile(path.join(site, name));
    const gz = gzipSync(body, { level: 9 }).length;
    raw += body.length;
    packed += gz;
    console.log(`| ${name} | ${body.length} | ${gz} |`);
}
console.log(`| all | ${raw} | ${packed} |\n`);

const browser = await openBrowser(site);
try {
    if (process.env.VELNARI_MEASURE !== "timeline") await measureSpeed(browser);
    await measureTimeline(browser);
} finally {
    await browser.close();
}

async function measureTimeline(browser) {
    const page = await browser.context.newPage();
    await page.setViewportSize({ width: 1400, height: 900 });
    await page.goto(browser.base);
    await page.waitForSelector("body[data-ready=true]", { timeout: 20000 });
    const names = await page.$$eval("#examples option", (os) => os.map((o) => o.value).filter(Boolean));
    console.log("\n| song | notes | song changed: notes and timeline, ms | timeline drawn, ms |\n|---|---|---|---|");
    for (const song of names) {
        await page.selectOption("#examples", song);
        await page.waitForFunction(() => document.querySelector("#status").textContent.startsWith("compiled"));
        const [notes, all, drawn] = await page.evaluate(() => {
            const sight = window.velnariSight;
            const text = sight.editor.state.doc.toString();
            const median = (xs) => xs.sort((a, b) => a - b)[xs.length >> 1];
            const all = [];
            const drawn = [];
            for (let run = 0; run < 15; ++run) {
                let start = performance.now();
                sight.compiled(sight.editor, sight.song, text);
                all.push(performance.now() - start);
                start = performance.now();
                sight.timeline.setSong(sight.timeline.song);
                drawn.push(performance.now() - start);
            }
            return [sight.notes.notes.length, median(all), median(drawn)];
        });
        console.log(`| ${song} | ${notes} | ${all.toFixed(1)} | ${drawn.toFixed(1)} |`);
    }
    await page.close();
}

async function measureSpeed(browser) {
    const page = await browser.context.newPage();
    await page.goto(browser.base + "bench.html");
    await page.waitForSelector("body[data-done]", { timeout: 300000 });
    const names = await page.evaluate(() => window.exampleNames);
    const native = existsSync(velnari);
    console.log(
        native
            ? "| song | WebAssembly × real time | native × real time | WebAssembly / native |\n|---|---|---|---|"
            : "| song | WebAssembly × real time |\n|---|---|",
    );
    const median = (xs) => [...xs].sort((a, b) => a - b)[xs.length >> 1];
    for (const song of names) {
        // Turns: one WebAssembly render, one native render, five times.
        const web = [];
        const cli = [];
        for (let run = 0; run < 5; ++run) {
            web.push(await page.evaluate(([name, seconds]) => window.renderSpeed(name, seconds), [song, kSeconds]));
            if (native) cli.push(nativeSpeed(song));
        }
        const row = [song, median(web).toFixed(0)];
        if (native) row.push(median(cli).toFixed(0), median(web.map((w, k) => w / cli[k])).toFixed(2));
        console.log(`| ${row.join(" | ")} |`);
    }
}
