// A static server for the built page, on 127.0.0.1 only:
//   node web/serve.mjs DIR [PORT]     (PORT 0 or absent: 8080)
// The tests start it in-process through serveFolder().

import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import path from "node:path";
import { fileURLToPath } from "node:url";

const kTypes = {
    ".html": "text/html; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".css": "text/css; charset=utf-8",
    ".wasm": "application/wasm",
    ".png": "image/png",
    ".svg": "image/svg+xml",
    ".webmanifest": "application/manifest+json",
};

// Serves `dir` on 127.0.0.1:`port` (0 picks a free port); resolves to the
// listening server.
export function serveFolder(dir, port = 0) {
    const root = path.resolve(dir);
    const server = createServer(async (req, res) => {
        const url = new URL(req.url, "http://127.0.0.1");
        const file = path.join(root, decodeURIComponent(url.pathname === "/" ? "/index.html" : url.pathname));
        if (!file.startsWith(root + path.sep)) {
            res.writeHead(403).end();
            return;
        }
        try {
            const body = await readFile(file);
            res.writeHead(200, {
                "Content-Type": kTypes[path.extname(file)] ?? "application/octet-stream",
                "Cache-Control": "no-cache",
            });
            res.end(body);
        } catch {
            res.writeHead(404).end("not found");
        }
    });
    return new Promise((resolve, reject) => {
        server.once("error", reject);
        server.listen(port, "127.0.0.1", () => resolve(server));
    });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
    const [dir, port] = process.argv.slice(2);
    if (!dir) {
        console.error("usage: node web/serve.mjs DIR [PORT]");
        process.exit(2);
    }
    const server = await serveFolder(dir, Number(port) || 8080);
    console.log(`serving ${path.resolve(dir)} at http://127.0.0.1:${server.address().port}/ (Ctrl+C stops)`);
}
