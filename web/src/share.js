// A song in the address's fragment: "#song=" and the text, raw-deflated and
// base64url-encoded, so a link holds the whole song and no server keeps it;
// then "&name=" and the song's name, percent-encoded.

const kPrefix = "#song=";

async function pipe(bytes, stream) {
    const out = new Blob([bytes]).stream().pipeThrough(stream);
    return new Uint8Array(await new Response(out).arrayBuffer());
}

function toBase64Url(bytes) {
    let binary = "";
    for (let i = 0; i < bytes.length; i += 0x8000) {
        binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    }
    return btoa(binary).replace(/\+/g, "-").replace(/\//g, "_").replace(/=+$/, "");
}

function fromBase64Url(text) {
    const binary = atob(text.replace(/-/g, "+").replace(/_/g, "/"));
    return Uint8Array.from(binary, (c) => c.charCodeAt(0));
}

export async function fragmentFor(text, name) {
    const packed = await pipe(new TextEncoder().encode(text), new CompressionStream("deflate-raw"));
    return kPrefix + toBase64Url(packed) + (name ? `&name=${encodeURIComponent(name)}` : "");
}

// {text, name (null when the link has none)} of the song in a fragment, or
// null when the fragment holds none (or a damaged one).
export async function songFromFragment(hash) {
    if (!hash.startsWith(kPrefix)) return null;
    const [packed, ...fields] = hash.slice(kPrefix.length).split("&");
    try {
        const bytes = await pipe(fromBase64Url(packed), new DecompressionStream("deflate-raw"));
        const named = fields.find((f) => f.startsWith("name="));
        const name = named ? decodeURIComponent(named.slice(5)) || null : null;
        return { text: new TextDecoder().decode(bytes), name };
    } catch {
        return null;
    }
}
