// Bundles the page into one folder that a static server can serve as it is:
//   node web/build.mjs WASM_DIR OUT_DIR
// WASM_DIR holds velnari.mjs and velnari.wasm (the CMake preset "wasm");
// OUT_DIR receives index.html, app.js, app.css, worklet.js, channels-worker.js
// and velnari.wasm, the web app manifest with its icons and the service worker
// sw.js (which keeps all of these for visits without a network), and the
// render-speed page bench.html with bench.js.
// The example songs are bundled into app.js.

import * as esbuild from "esbuild";
import { createHash } from "node:crypto";
import { copyFile, mkdir, readdir, readFile, writeFile } from "node:fs/promises";
import path from "node:path";
import { fileURLToPath } from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, "..");
const [wasmDir, outDir] = process.argv.slice(2).map((p) => path.resolve(p));
if (!wasmDir || !outDir) {
    console.error("usage: node web/build.mjs WASM_DIR OUT_DIR");
    process.exit(2);
}

// "velnari:examples": {file name: text} of every song in examples/.
const examplesPlugin = {
    name: "examples",
    setup(build) {
        build.onResolve({ filter: /^velnari:examples$/ }, () => ({ path: "examples", namespace: "velnari" }));
        build.onLoad({ filter: /.*/, namespace: "velnari" }, async () => {
            const folder = path.join(root, "examples");
            const names = (await readdir(folder)).filter((n) => n.endsWith(".mml")).sort();
            const songs = {};
            for (const n of names) songs[n] = await readFile(path.join(folder, n), "latin1");
            return { contents: JSON.stringify(songs), loader: "json", watchFiles: names.map((n) => path.join(folder, n)) };
        });
    },
};

await mkdir(outDir, { recursive: true });
const common = {
    bundle: true,
    format: "esm",
    minify: true,
    target: "es2022",
    logLevel: "warning",
    alias: { "velnari-wasm": path.join(wasmDir, "velnari.mjs") },
    plugins: [examplesPlugin],
    // The module factory finds its .wasm beside the script; the page and the
    // audio thread pass the compiled module in instead.
    external: ["velnari.wasm"],
};
await esbuild.build({ ...common, entryPoints: { app: path.join(here, "src/main.js") }, outdir: outDir });
await esbuild.build({ ...common, entryPoints: { worklet: path.join(here, "src/worklet.js") }, outdir: outDir });
await esbuild.build({
    ...common,
    entryPoints: { "channels-worker": path.join(here, "src/channels-worker.js") },
    outdir: outDir,
});
await esbuild.build({ ...common, entryPoints: { bench: path.join(here, "src/bench.js") }, outdir: outDir });
await esbuild.build({
    entryPoints: { app: path.join(here, "page/style.css") },
    bundle: true,
    minify: true,
    outdir: outDir,
    logLevel: "warning",
});
const kStatic = ["index.html", "bench.html", "manifest.webmanifest", "icon.svg", "icon-192.png", "icon-512.png"];
for (const file of kStatic) await copyFile(path.join(here, "page", file), path.join(outDir, file));
await copyFile(path.join(wasmDir, "velnari.wasm"), path.join(outDir, "velnari.wasm"));

// The service worker keeps what the page loads; its version is a hash of
// those files, so each build that changes one of them installs anew.
const offline = ["./", "index.html", "app.js", "app.css", "worklet.js", "channels-worker.js", "velnari.wasm"];
offline.push("manifest.webmanifest", "icon.svg", "icon-192.png", "icon-512.png");
const hash = createHash("sha256");
for (const file of offline.slice(1)) hash.update(await readFile(path.join(outDir, file)));
const worker = (await readFile(path.join(here, "page/sw.js"), "utf8"))
    .replace("__VERSION__", hash.digest("hex").slice(0, 16))
    .replace("__FILES__", JSON.stringify(offline));
await writeFile(path.join(outDir, "sw.js"), worker);
console.log(`web: built ${outDir}`);
