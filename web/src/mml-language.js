// Syntax colouring for the tarsel MML dialect, as a CodeMirror stream
// language. Line kinds are told by their heads (a part number, "sound:",
// "op1:"...), and part lines colour notes, commands (the extensions "_",
// "__", "(" and ")" too), numbers, macro calls and loop brackets with the
// loop break ":". It only colours: faults come from the compiler.

import { HighlightStyle, StreamLanguage } from "@codemirror/language";
import { tags } from "@lezer/highlight";

const kHead = /^\s*(?:[1-6]\s*:|sound\s*:|lfo\s*:|op\s*[1-4]\s*:|ssgenv\s*:|str\s*:|->)/i;

const mml = {
    name: "tarsel-mml",
    startState: () => ({ kind: "part" }),
    token(stream, state) {
        if (stream.sol()) {
            state.kind = "part";
            if (stream.match(/^\s*d\s*:/i)) {
                stream.skipToEnd();
                return "comment";
            }
            // A tag line: its keyword, then text to the line's end (";" too).
            if (stream.match(/^\s*#(?:title|composer|date|notes)(?=[ \t]|$)/i)) {
                state.kind = "tag";
                return "heading";
            }
            const head = stream.match(kHead);
            if (head) {
                const word = head[0].replace(/[\s:]/g, "").toLowerCase();
                if (word === "str") state.kind = "macroName";
                else if (word === "->" || word === "ssgenv") state.kind = "list";
                else if (/^[1-6]$/.test(word)) state.kind = "part";
                else state.kind = "list";
                return "heading";
            }
        }
        if (stream.eatSpace()) return null;
        if (state.kind === "tag") {
            stream.skipToEnd();
            return "string";
        }
        if (stream.match(";")) {
            stream.skipToEnd();
            return "comment";
        }
        if (state.kind === "macroName") {
            if (stream.match(/^[^=;]+/)) return "labelName";
            if (stream.eat("=")) {
                state.kind = "part";
                return "operator";
            }
        }
        if (state.kind === "part" && stream.match(/^__?(?=[-+]?\d)\+?/)) return "variableName";
        if (stream.match(/^@?-?\d+\.?/)) return "number";
        if (state.kind === "list") {
            stream.next();
            return "punctuation";
        }
        if (stream.match(/^\$[A-Za-z0-9_ ]*\$?/)) return "macroName";
        if (stream.match(/^[a-g][+-]?/i)) return "keyword";
        if (stream.match(/^[{}:]/)) return "bracket";
        if (stream.match(/^[()]/)) return "variableName";
        if (stream.match(/^[&<>]/)) return "operator";
        if (stream.match(/^![pw]/i)) return "variableName"; // the extensions' "!" commands
        if (stream.match(/^[h-z@]/i)) return "variableName";
        if (stream.match(/^!t/i)) return "variableName"; // tempo change (an extension)
        stream.next();
        return "invalid";
    },
    languageData: { commentTokens: { line: ";" } },
};

export const mmlLanguage = StreamLanguage.define(mml);

// The colours, from the page's style sheet (--syntax-*), so that the dark and
// the light theme each keep every kind of text readable on their background.
export const mmlHighlightStyle = HighlightStyle.define([
    { tag: tags.comment, color: "var(--syntax-comment)", fontStyle: "italic" },
    { tag: tags.heading, color: "var(--syntax-heading)", fontWeight: "bold" },
    { tag: [tags.labelName, tags.macroName], color: "var(--syntax-macro)" },
    { tag: tags.number, color: "var(--syntax-number)" },
    { tag: tags.keyword, color: "var(--syntax-note)" },
    { tag: [tags.bracket, tags.operator, tags.punctuation], color: "var(--syntax-operator)" },
    { tag: tags.variableName, color: "var(--syntax-command)" },
    { tag: tags.invalid, color: "var(--syntax-invalid)", textDecoration: "underline wavy" },
]);
