#include "reglog/Gzip.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace reglog {

namespace {

constexpr int kGzipWindow = 15 + 16;  // window bits + 16: gzip framing
constexpr std::size_t kChunk = 1 << 16;

// zlib counts in unsigned int; larger inputs go in pieces.
uInt Piece(std::size_t left) {
    return static_cast<uInt>(std::min<std::size_t>(left, std::numeric_limits<uInt>::max()));
}

}  // namespace

std::vector<uint8_t> GzipCompress(const std::vector<uint8_t>& bytes,
                                  const std::function<void()>& poll) {
    // Input handed over in pieces, so that no call works for long between
    // polls (a few milliseconds at the best compression); how the input is
    // cut does not change zlib's output.
    constexpr std::size_t kInputPiece = std::size_t{1} << 18;
    z_stream stream{};
    std::vector<uint8_t> out;
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, kGzipWindow, 9, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        return out;
    }
    stream.next_in = const_cast<Bytef*>(bytes.data());
    std::size_t inLeft = bytes.size();
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (poll) poll();
        if (stream.avail_in == 0 && inLeft > 0) {
            stream.avail_in = Piece(std::min(inLeft, kInputPiece));
            inLeft -= stream.avail_in;
        }
        const std::size_t before = out.size();
        out.resize(before + kChunk);
        stream.next_out = out.data() + before;
        stream.avail_out = static_cast<uInt>(kChunk);
        status = deflate(&stream, inLeft == 0 ? Z_FINISH : Z_NO_FLUSH);
        out.resize(before + kChunk - stream.avail_out);
        if (status == Z_STREAM_ERROR) break;
    }
    deflateEnd(&stream);
    return out;
}

bool GzipDecompress(const uint8_t* data, std::size_t size, std::size_t maxBytes,
                    std::vector<uint8_t>& out, std::string& fault, std::string* warning) {
    out.clear();
    if (warning) warning->clear();
    z_stream stream{};
    if (inflateInit2(&stream, kGzipWindow) != Z_OK) {
        fault = "cannot start decompressing";
        return false;
    }
    stream.next_in = const_cast<Bytef*>(data);
    std::size_t inLeft = size;
    int status = Z_OK;
    for (;;) {
        if (stream.avail_in == 0 && inLeft > 0) {
            stream.avail_in = Piece(inLeft);
            inLeft -= stream.avail_in;
        }
        if (out.size() >= maxBytes) {
            fault = "it expands to more than " + std::to_string(maxBytes >> 20) + " MiB";
            break;
        }
        const std::size_t before = out.size();
        const std::size_t room = std::min(kChunk, maxBytes - before);
        out.resize(before + room);
        stream.next_out = out.data() + before;
        stream.avail_out = static_cast<uInt>(room);
        const uLong consumed = stream.total_in;
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(before + room - stream.avail_out);
        const bool moved = stream.total_in != consumed || out.size() != before;
        if (status == Z_STREAM_END) {
            // Another member may follow, as gzip allows; anything else after
            // a whole member is not compressed data, and the member is whole.
            const std::size_t rest = static_cast<std::size_t>(data + size - stream.next_in);
            if (rest == 0) break;
            if (!IsGzip(stream.next_in, rest)) {
                if (warning) {
                    *warning = std::to_string(rest) + " byte" + (rest == 1 ? "" : "s") +
                               " after the compressed data, ignored";
                }
                break;
            }
            if (inflateReset(&stream) != Z_OK)
                status = Z_DATA_ERROR;
            else
                continue;
        }
        if ((status == Z_BUF_ERROR || !moved) && stream.avail_in == 0 && inLeft == 0) {
            fault = "the compressed data is cut short";
            break;
        }
        if ((status != Z_OK && status != Z_BUF_ERROR) || !moved) {
            fault = std::string("the compressed data is damaged") +
                    (stream.msg ? std::string(" (") + stream.msg + ")" : "");
            break;
        }
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
        out.clear();
        return false;
    }
    return true;
}

}  // namespace reglog
