// Song files as bytes and back. A song file is read as the compiler reads it:
// UTF-8 (with or without its byte-order mark) when the bytes are valid UTF-8,
// otherwise Shift-JIS (Windows code page 932, as Japanese editors write it).
// The text goes into the editor with "\n" line ends; what the file had
// around it (encoding, mark, line end, a closing Ctrl-Z) is kept beside it
// so that saving writes the same kind of file, byte for byte where the text
// is unchanged. Browsers decode Shift-JIS but have no encoder for it: the
// encoder here is the decoder's table turned round.

const kBom = "\ufeff";

// {text, encoding: "utf-8" | "shift_jis", bom, eol, eof} from a file's bytes.
export function decodeSongFile(bytes) {
    let text;
    let encoding = "utf-8";
    try {
        text = new TextDecoder("utf-8", { fatal: true, ignoreBOM: true }).decode(bytes);
    } catch {
        encoding = "shift_jis";
        text = new TextDecoder("shift_jis").decode(bytes);
    }
    const bom = encoding === "utf-8" && text.startsWith(kBom);
    if (bom) text = text.slice(1);
    const eof = text.endsWith("\x1a");
    if (eof) text = text.slice(0, -1);
    const crlf = (text.match(/\r\n/g) ?? []).length;
    const cr = (text.match(/\r(?!\n)/g) ?? []).length;
    const lf = (text.match(/(?<!\r)\n/g) ?? []).length;
    const eol = crlf >= lf && crlf >= cr && crlf > 0 ? "\r\n" : cr > lf ? "\r" : "\n";
    return { text: text.replace(/\r\n?/g, "\n"), encoding, bom, eol, eof };
}

// The file's bytes for `text` in the form `format` (as decodeSongFile gave
// it). Throws an Error naming the first character Shift-JIS cannot hold.
export function encodeSongFile(text, format) {
    const eol = format.eol ?? "\n";
    const end = format.eof ? "\x1a" : "";
    if (format.encoding !== "shift_jis") {
        return new TextEncoder().encode((format.bom ? kBom : "") + text.replace(/\n/g, eol) + end);
    }
    const lines = text.split("\n").map((line, k) => encodeShiftJis(line, k + 1));
    const out = [];
    lines.forEach((bytes, k) => {
        if (k > 0) for (const c of eol) out.push(c.charCodeAt(0));
        out.push(...bytes);
    });
    if (end) out.push(0x1a);
    return Uint8Array.from(out);
}

let shiftJisTable = null; // code point -> byte pair (lead << 8 | trail)

// The decoder's table turned round. Where several byte pairs decode to one
// character (the NEC and IBM rows of code page 932 share some), the first in
// code order wins, except that the NEC-selected IBM rows (lead bytes 0xED and
// 0xEE) only give characters found nowhere else, as Windows encodes them.
function shiftJisCodes() {
    if (shiftJisTable) return shiftJisTable;
    shiftJisTable = new Map();
    const decoder = new TextDecoder("shift_jis");
    const leads = [];
    for (let lead = 0x81; lead <= 0xfc; ++lead) if (lead < 0xa0 || lead >= 0xe0) leads.push(lead);
    const ordered = [...leads.filter((l) => l !== 0xed && l !== 0xee), 0xed, 0xee];
    const pair = new Uint8Array(2);
    for (const lead of ordered) {
        for (let trail = 0x40; trail <= 0xfc; ++trail) {
            if (trail === 0x7f) continue;
            pair[0] = lead;
            pair[1] = trail;
            const ch = decoder.decode(pair);
            if (ch.length !== 1 || ch === "\ufffd") continue;
            const code = ch.codePointAt(0);
            if (!shiftJisTable.has(code)) shiftJisTable.set(code, (lead << 8) | trail);
        }
    }
    return shiftJisTable;
}

// One line's bytes; `line` names it in the error.
function encodeShiftJis(text, line) {
    const out = [];
    for (const ch of text) {
        const c = ch.codePointAt(0);
        if (c <= 0x80) out.push(c);
        else if (c >= 0xff61 && c <= 0xff9f) out.push(c - 0xff61 + 0xa1); // half-width katakana
        else {
            const code = shiftJisCodes().get(c);
            if (code === undefined) {
                throw new Error(`line ${line} holds "${ch}", which Shift-JIS cannot hold`);
            }
            out.push(code >> 8, code & 0xff);
        }
    }
    return out;
}
