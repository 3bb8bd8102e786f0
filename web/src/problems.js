// The problems panel: the compile's fault or the warnings pass's findings,
// the same list `velnari check` prints, each a button that puts the cursor
// where it stands. The toggle in the status bar counts them.

const $ = (id) => document.getElementById(id);

// `items`: [{severity: "error" | "warning", line (0: the whole song), column
// (0: not known), text}]; `goTo(line, column)` moves the cursor.
export function showProblems(items, goTo) {
    const list = $("problem-list");
    list.replaceChildren(
        ...items.map((item) => {
            const entry = document.createElement("li");
            const button = document.createElement("button");
            button.className = `problem ${item.severity}`;
            button.dataset.line = String(item.line);
            button.dataset.column = String(item.column);
            const where = document.createElement("span");
            where.className = "where";
            where.textContent =
                item.line > 0 ? `line ${item.line}${item.column > 0 ? `, column ${item.column}` : ""}` : "whole song";
            const severity = document.createElement("span");
            severity.className = "severity";
            severity.textContent = item.severity;
            const text = document.createElement("span");
            text.className = "text";
            text.textContent = item.text;
            button.append(where, severity, text);
            if (item.line > 0) button.onclick = () => goTo(item.line, item.column);
            else button.disabled = true;
            entry.append(button);
            return entry;
        }),
    );
    if (!items.length) {
        const none = document.createElement("li");
        none.className = "none";
        none.textContent = "No faults, no warnings.";
        list.append(none);
    }
    const toggle = $("problems-toggle");
    toggle.textContent = `Problems (${items.length})`;
    toggle.classList.toggle("has-error", items.some((i) => i.severity === "error"));
}
