// The render-speed page (bench.html): renders each example song for a
// minute of audio in this thread, a few times, and shows the median speed
// as a multiple of real time. The medians also land in
// document.body.dataset.results (JSON) for scripts/web-bench.mjs.

import examples from "velnari:examples";
import { loadVelnari } from "./velnari.js";

const kRate = 44100;
const kSeconds = 60;
const kRuns = 5;
const kBlock = 4096;

function renderSeconds(song) {
    const engine = song.engine(kRate);
    const start = performance.now();
    for (let done = 0; done < kSeconds * kRate; done += kBlock) engine.render(kBlock);
    const elapsed = (performance.now() - start) / 1000;
    engine.free();
    return kSeconds / elapsed;
}

async function run() {
    const velnari = await loadVelnari();
    const results = {};
    const table = document.getElementById("results");
    for (const [name, text] of Object.entries(examples)) {
        const song = velnari.compile(text);
        renderSeconds(song); // warm-up: the engine's tables and the JIT
        const speeds = Array.from({ length: kRuns }, () => renderSeconds(song)).sort((a, b) => a - b);
        song.free();
        results[name] = speeds[kRuns >> 1];
        table.insertRow().innerHTML = `<td>${name}</td><td>${results[name].toFixed(0)}× real time</td>`;
        await new Promise((resolve) => setTimeout(resolve, 0));
    }
    document.body.dataset.results = JSON.stringify(results);
}

run();
