// Opening and playing arbitrary bytes as a song, the way a host does: open
// at a rate from a small set, then render requests of one size (not always a
// whole number of frames), with a seek half-way when the header asks.
//
// Besides the sanitizers' checks:
//   - every request returns its size and leaves the bytes after its last
//     whole frame alone, and a player that did not open renders silence;
//   - tick n runs before frame n × (frames per tick), however the requests
//     are cut: after F frames since the start, ceil(F / frames per tick)
//     ticks have run;
//   - a second player fed the same file in one request per half sends the
//     chip the same register writes in the same order at the same frames,
//     and renders the same samples: where the host cuts its requests changes
//     nothing.

#include <algorithm>
#include <cstring>
#include <vector>

#include "FuzzTargets.h"
#include "ScratchFile.h"
#include "platform/ErrorReporter.h"
#include "plugin/Player.h"

using plugin::Player;

namespace fuzz {
namespace {

constexpr uint32_t kRequestSizes[] = {1, 3, 4, 6, 4098, 5000, 16384, 65538};
constexpr uint32_t kSeconds = 2;
constexpr uint32_t kMaxFrames = 96000;  // keeps the high rates as quick as 48000 Hz
constexpr uint8_t kCanary = 0xA5;

// A fingerprint of every register write after the open, in order (FNV-1a
// over frame, address and data), without storing millions of writes.
class WriteStream : public engine::RegisterWriteObserver {
  public:
    void OnRegisterWrite(int64_t frame, uint32_t addr, uint32_t data) override {
        Mix(static_cast<uint32_t>(frame));
        Mix(static_cast<uint32_t>(static_cast<uint64_t>(frame) >> 32));
        Mix(addr);
        Mix(data);
        ++count;
    }
    bool operator==(const WriteStream& other) const {
        return hash == other.hash && count == other.count;
    }
    uint64_t hash = 14695981039346656037u;
    uint64_t count = 0;

  private:
    void Mix(uint32_t word) {
        for (int i = 0; i < 4; ++i) {
            hash = (hash ^ ((word >> (8 * i)) & 0xFF)) * 1099511628211u;
        }
    }
};

// Renders `frames` frames in requests of `requestSize` bytes, appending the
// whole frames to `out`, checking each request's result and tail and, when
// the player is playing, the number of ticks run since its (re)start, which
// came `sinceStart` frames ago.
void RenderInRequests(Player& player, bool playing, uint32_t frames, uint32_t requestSize,
                      uint64_t& sinceStart, std::vector<int16_t>& out) {
    std::vector<uint8_t> request;
    uint32_t left = frames;
    while (left > 0) {
        // The last request is cut to the frames still wanted.
        const uint32_t size = std::min(requestSize, left * 4 + requestSize % 4);
        const uint32_t whole = size / 4;
        request.assign(size, kCanary);
        FUZZ_CHECK(player.Render(request.data(), size) == size);
        for (uint32_t i = whole * 4; i < size; ++i) FUZZ_CHECK(request[i] == kCanary);
        // Requests below one frame never advance the song; one is enough.
        if (whole == 0) break;
        const std::size_t at = out.size();
        out.resize(at + std::size_t{whole} * 2);
        std::memcpy(out.data() + at, request.data(), std::size_t{whole} * 4);
        left -= std::min(left, whole);
        sinceStart += whole;
        if (playing) {
            const engine::Engine& engine = *player.Engine();
            const auto perTick = static_cast<uint64_t>(engine.FramesPerTick());
            FUZZ_CHECK(static_cast<uint64_t>(engine.Tick()) ==
                       (sinceStart + perTick - 1) / perTick);
            FUZZ_CHECK(static_cast<uint64_t>(engine.Frame()) == sinceStart);
        }
    }
}

}  // namespace

RenderHeader DecodeRenderHeader(const uint8_t* data, std::size_t size) {
    uint8_t h[kRenderHeaderSize] = {};
    std::memcpy(h, data, std::min(size, kRenderHeaderSize));
    constexpr std::size_t rateCount = sizeof(kRenderRates) / sizeof(kRenderRates[0]);
    constexpr std::size_t sizeCount = sizeof(kRequestSizes) / sizeof(kRequestSizes[0]);
    return RenderHeader{kRenderRates[h[0] % rateCount], kRequestSizes[h[1] % sizeCount],
                        static_cast<int8_t>(h[2]), static_cast<int8_t>(h[3])};
}

int RenderSong(const uint8_t* data, std::size_t size) {
    static ScratchFile file("render.mml");
    const RenderHeader header = DecodeRenderHeader(data, size);
    const bool seek = size > 1 && (data[1] & 0x80) != 0;
    const std::size_t skip = std::min(size, kRenderHeaderSize);
    file.Write(data + skip, size - skip);

    const platform::ErrorReporter previous =
        platform::SetErrorReporter([](std::string_view, std::string_view) {});

    Player pieces(engine::Volumes{header.fmVolume, header.ssgVolume});
    WriteStream piecesWrites;
    SoundInfo info{};
    info.samplesPerSec = header.rate;
    const bool opened = pieces.Open(file.Path().c_str(), &info);
    if (opened) pieces.Engine()->SetRegisterWriteObserver(&piecesWrites);
    FUZZ_CHECK(info.samplesPerSec == header.rate && info.channels == 2 && info.bitsPerSample == 16);

    const uint32_t frames = std::min(header.rate * kSeconds, kMaxFrames);
    const uint32_t half = frames / 2;
    std::vector<int16_t> cut;
    uint64_t sinceStart = 0;
    RenderInRequests(pieces, opened, half, header.requestSize, sinceStart, cut);
    const uint32_t firstHalf = static_cast<uint32_t>(cut.size() / 2);
    if (seek) {
        pieces.Seek();
        sinceStart = 0;
    }
    RenderInRequests(pieces, opened, frames - half, header.requestSize, sinceStart, cut);

    if (!opened) {
        FUZZ_CHECK(std::all_of(cut.begin(), cut.end(), [](int16_t s) { return s == 0; }));
    } else {
        Player whole(engine::Volumes{header.fmVolume, header.ssgVolume});
        WriteStream wholeWrites;
        SoundInfo wholeInfo{};
        wholeInfo.samplesPerSec = header.rate;
        FUZZ_CHECK(whole.Open(file.Path().c_str(), &wholeInfo));
        whole.Engine()->SetRegisterWriteObserver(&wholeWrites);
        const uint32_t secondHalf = static_cast<uint32_t>(cut.size() / 2) - firstHalf;
        std::vector<int16_t> once(std::max<std::size_t>(cut.size(), 2));
        FUZZ_CHECK(whole.Render(once.data(), firstHalf * 4) == firstHalf * 4);
        if (seek) whole.Seek();
        FUZZ_CHECK(whole.Render(once.data() + std::size_t{firstHalf} * 2, secondHalf * 4) ==
                   secondHalf * 4);
        FUZZ_CHECK(wholeWrites == piecesWrites);
        once.resize(cut.size());
        FUZZ_CHECK(once == cut);
    }

    platform::SetErrorReporter(previous);
    return 0;
}

}  // namespace fuzz
