// misbehaving-host: loads a plug-in module by path, as a media player does,
// and calls it the way careless but legal hosts do. Built for Linux and for
// Windows, so the same cases run against velnari.so and, under Wine, against
// both DLLs.
//
//   misbehaving-host MODULE DATA_FOLDER SCRATCH_FOLDER [CASE...]
//   misbehaving-host --list
//
// DATA_FOLDER holds duet.mml; SCRATCH_FOLDER is where the cases write their
// files (into a folder of their own, removed afterwards). Prints one PASS or
// FAIL line per case and "misbehaving-host: N passed, N failed"; exits 1 when
// a case failed, 2 on a usage or set-up fault.
//
// The reference for every comparison is the module itself: a fresh handle
// rendering the same song in 4096-byte requests.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/CallingConvention.h"
#include "platform/DynamicLibrary.h"
#include "plugin/ModuleRecord.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using GetModuleFunction = const ModuleRecord*(VELNARI_WINAPI*)();

constexpr uint8_t kFill = 0xA5;
constexpr uint32_t kGuard = 64;  // watched bytes after each request
constexpr uint32_t kPiece = 4096;

struct Host {
    const ModuleRecord* record = nullptr;
    std::string song;     // path of a copy of duet.mml
    std::string text;     // its contents
    fs::path scratch;     // a folder of this run's own
    std::string failure;  // why the running case failed

    // A file in the scratch folder, named by bytes the host does not convert.
    std::string In(const std::string& name) const { return scratch.string() + "/" + name; }

    bool Fail(const std::string& why) {
        if (failure.empty()) failure = why;
        return false;
    }

    PluginHandle Open(const std::string& path, uint32_t rate = 0) const {
        SoundInfo info{};
        info.samplesPerSec = rate;
        return record->open(path.c_str(), &info);
    }

    // `bytes` of output of an open handle, in 4096-byte requests.
    Bytes Render(PluginHandle handle, size_t bytes) const {
        Bytes out(bytes);
        for (size_t done = 0; done < bytes;) {
            const auto piece = static_cast<uint32_t>(std::min<size_t>(kPiece, bytes - done));
            record->render(handle, out.data() + done, piece);
            done += piece;
        }
        return out;
    }

    // The first `bytes` of `path` played from its start, as a well-behaved
    // host gets them; empty when the open fails.
    Bytes Reference(const std::string& path, size_t bytes, uint32_t rate = 0) const {
        PluginHandle handle = Open(path, rate);
        if (handle == nullptr) return {};
        Bytes out = Render(handle, bytes);
        record->close(handle);
        return out;
    }
};

bool WriteFile(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

bool CanRead(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

// One request of `size` bytes into a buffer at `offset` from an aligned
// block: the answer is `size`, the whole frames are `expected`, and nothing
// after them is written.
bool OneRequest(Host& host, PluginHandle handle, uint32_t size, const uint8_t* expected,
                size_t offset = 0) {
    Bytes storage(offset + size + kGuard, kFill);
    uint8_t* buffer = storage.data() + offset;
    const uint32_t got = host.record->render(handle, buffer, size);
    const uint32_t whole = size - size % 4;
    if (got != size) {
        return host.Fail("Render(" + std::to_string(size) + ") returned " + std::to_string(got));
    }
    if (std::memcmp(buffer, expected, whole) != 0) {
        return host.Fail("a " + std::to_string(size) + "-byte request: not the song's frames");
    }
    if (!std::all_of(buffer + whole, storage.data() + storage.size(),
                     [](uint8_t b) { return b == kFill; })) {
        return host.Fail("a " + std::to_string(size) + "-byte request wrote past its whole frames");
    }
    return true;
}

// Sizes that are not whole frames, zero, and a huge one (16 MiB and three
// bytes, about 95 s at 44100 Hz): each request fills only whole frames, counts
// every byte, and the next request goes on exactly where it stopped.
bool RequestSizes(Host& host) {
    constexpr uint32_t kHuge = (16u << 20) + 3;
    const Bytes reference = host.Reference(host.song, kHuge + kPiece);
    if (reference.empty()) return host.Fail("the song does not open");
    for (uint32_t size : {0u, 1u, 2u, 3u, 4097u, 4099u, kHuge}) {
        for (size_t offset : {size_t{0}, size_t{1}}) {
            if (size == kHuge && offset == 1) continue;  // the aligned path is the one that varies
            PluginHandle handle = host.Open(host.song);
            if (handle == nullptr) return host.Fail("the song does not open");
            const uint32_t whole = size - size % 4;
            const bool ok = OneRequest(host, handle, size, reference.data(), offset) &&
                            OneRequest(host, handle, kPiece, reference.data() + whole, offset);
            host.record->close(handle);
            if (!ok) return false;
        }
    }
    return true;
}

// One SoundInfo for every open: a second open reads the rate the first one
// wrote, the host's later scribbles do not reach an open handle, and a rate
// the player refuses keeps failing until the host clears it.
bool ReusedSoundInfo(Host& host) {
    constexpr size_t kBytes = 4 * 8820;
    const Bytes reference = host.Reference(host.song, kBytes);
    // A seek half-way: the chip keeps some state across its reset, so this is
    // compared with the same calls on a handle of its own.
    const auto halfThenSeek = [&](PluginHandle handle) {
        Bytes out = host.Render(handle, kBytes / 2);
        host.record->setPosition(handle, 0);
        const Bytes rest = host.Render(handle, kBytes);
        out.insert(out.end(), rest.begin(), rest.end());
        return out;
    };
    PluginHandle own = host.Open(host.song);
    const Bytes seekReference = own != nullptr ? halfThenSeek(own) : Bytes{};
    if (own != nullptr) host.record->close(own);

    SoundInfo info{};
    PluginHandle first = host.record->open(host.song.c_str(), &info);
    PluginHandle second = host.record->open(host.song.c_str(), &info);
    bool ok = first != nullptr && second != nullptr && info.samplesPerSec == 44100;
    if (!ok) host.Fail("two opens with one SoundInfo");
    if (ok) {
        std::memset(&info, 0xFF, sizeof info);
        ok = halfThenSeek(first) == seekReference && host.Render(second, kBytes) == reference;
        if (!ok) host.Fail("the host's writes to its SoundInfo changed an open handle");
    }
    if (first != nullptr) host.record->close(first);
    if (second != nullptr) host.record->close(second);
    if (!ok) return false;

    // 0xFFFFFFFF Hz is refused, and stays in the record as the host gave it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        PluginHandle handle = host.record->open(host.song.c_str(), &info);
        if (handle != nullptr) {
            host.record->close(handle);
            return host.Fail("an open at 0xFFFFFFFF Hz succeeded");
        }
        if (info.samplesPerSec != 0xFFFFFFFF || info.channels != 2 || info.bitsPerSample != 16) {
            return host.Fail("a refused open did not write the format");
        }
    }
    info.samplesPerSec = 0;
    PluginHandle handle = host.record->open(host.song.c_str(), &info);
    if (handle == nullptr) return host.Fail("the record could not be used again after a refusal");
    ok = host.Render(handle, kBytes) == reference;
    host.record->close(handle);
    return ok || host.Fail("the reused record played another song");
}

// A name whose bytes are not text in the current code page (not in
// Shift-JIS, not in UTF-8, undefined in code page 1252): the module finds the
// file exactly when the host's own C library does, and then plays it.
bool NameNotInTheCodePage(Host& host) {
    const std::string name = host.In("\x81\x7f\xff\x8d\x90.mml");
    const bool written = WriteFile(name, host.text);
    const bool readable = written && CanRead(name);
    PluginHandle handle = host.Open(name);
    std::printf("  the host %s the file; the module %s it\n",
                readable ? "wrote and read" : "could not write",
                handle ? "opened" : "did not open");
    if ((handle != nullptr) != readable) {
        return host.Fail(std::string("the host ") + (readable ? "can" : "cannot") +
                         " read the file, the module " + (handle ? "can" : "cannot"));
    }
    if (handle == nullptr) return true;
    const bool same = host.Render(handle, 4 * 8820) == host.Reference(host.song, 4 * 8820);
    host.record->close(handle);
    return same || host.Fail("the file under that name plays another song");
}

// A song in folders nested past MAX_PATH (260 characters), and names far
// longer than any path may be: the module opens the song exactly when the
// host can read it, and a name of 40000 characters fails quietly.
bool LongPaths(Host& host) {
    fs::path folder = host.scratch;
    while (folder.string().size() < 300) folder /= std::string(40, 'd');
    std::error_code error;
    fs::create_directories(folder, error);
    const std::string song = (folder / "duet.mml").string();
    const bool readable = !error && WriteFile(song, host.text) && CanRead(song);
    PluginHandle handle = host.Open(song);
    if ((handle != nullptr) != readable) {
        return host.Fail(std::string("a ") + std::to_string(song.size()) +
                         "-character path: " + "the host " + (readable ? "can" : "cannot") +
                         " read it, the module " + (handle ? "can" : "cannot"));
    }
    if (handle != nullptr) {
        const bool same = host.Render(handle, 4 * 8820) == host.Reference(host.song, 4 * 8820);
        host.record->close(handle);
        if (!same) return host.Fail("the song under a long path plays another song");
    }
    const std::string huge = host.In(std::string(40000, 'x') + ".mml");
    handle = host.Open(huge);
    if (handle != nullptr) {
        host.record->close(handle);
        return host.Fail("a 40000-character name opened");
    }
    return true;
}

// A song that another program rewrites in place (truncates, then writes it
// again in pieces) while the host opens it again and again: every open either
// fails or gives a handle that renders, and at least one open sees the whole
// song. The song is made long, so the rewriting often lands in a compile.
bool RewrittenWhileOpened(Host& host) {
    std::string text = host.text;
    while (text.size() < (256u << 10)) text += "; a comment line that only makes the file longer\n";
    const std::string path = host.In("rewritten.mml");
    if (!WriteFile(path, text)) return host.Fail("cannot write the song");
    const Bytes reference = host.Reference(path, kPiece);

    std::atomic<bool> done{false};
    std::atomic<int> rewrites{0};
    std::thread writer([&] {
        while (!done) {
            // A host that has the file open may keep others from writing it.
            std::FILE* file = std::fopen(path.c_str(), "wb");
            if (file == nullptr) {
                std::this_thread::yield();
                continue;
            }
            for (size_t at = 0; at < text.size(); at += text.size() / 4 + 1) {
                const size_t n = std::min(text.size() - at, text.size() / 4 + 1);
                std::fwrite(text.data() + at, 1, n, file);
                std::fflush(file);
                std::this_thread::yield();
            }
            std::fclose(file);
            ++rewrites;
        }
    });
    int opened = 0;
    int whole = 0;
    Bytes out(kPiece);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((opened < 100 || rewrites < 50) && std::chrono::steady_clock::now() < until) {
        PluginHandle handle = host.Open(path);
        if (handle == nullptr) continue;
        ++opened;
        if (host.record->render(handle, out.data(), kPiece) != kPiece) {
            host.Fail("a handle of the rewritten file did not render");
        }
        whole += out == reference;
        host.record->close(handle);
    }
    done = true;
    writer.join();
    std::printf(
        "  %d opens succeeded (%d with the whole song) while the file was rewritten %d "
        "times\n",
        opened, whole, rewrites.load());
    if (!host.failure.empty()) return false;
    return whole > 0 || host.Fail("no open saw the whole song");
}

struct Case {
    const char* name;
    const char* what;
    bool (*run)(Host&);
};

const Case kCases[] = {
    {"request-sizes", "render sizes that are not whole frames, zero, or huge", RequestSizes},
    {"reused-soundinfo", "one SoundInfo reused across opens", ReusedSoundInfo},
    {"name-not-in-code-page", "a file name that is not text in the code page",
     NameNotInTheCodePage},
    {"long-paths", "paths longer than MAX_PATH", LongPaths},
    {"rewritten-file", "opens of a file that is being rewritten", RewrittenWhileOpened},
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (const Case& c : kCases) std::printf("%s\n", c.name);
        return 0;
    }
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: misbehaving-host MODULE DATA_FOLDER SCRATCH_FOLDER [CASE...]\n");
        return 2;
    }
    platform::DynamicLibrary library(argv[1]);
    const auto get = reinterpret_cast<GetModuleFunction>(library.Find("kmp_GetTestModule"));
    if (get == nullptr || get() == nullptr) {
        std::fprintf(stderr, "misbehaving-host: cannot load %s: %s\n", argv[1],
                     library.Error().c_str());
        return 2;
    }
    Host host;
    host.record = get();
    host.text = ReadText((fs::path(argv[2]) / "duet.mml").string());
    std::error_code error;
    std::mt19937 random(std::random_device{}());
    for (int i = 0; i < 100 && host.scratch.empty(); ++i) {
        const fs::path folder =
            fs::path(argv[3]) / ("misbehaving-host-" + std::to_string(random()));
        if (fs::create_directory(folder, error)) host.scratch = folder;
    }
    host.song = host.In("duet.mml");
    if (host.text.empty() || host.scratch.empty() || !WriteFile(host.song, host.text)) {
        std::fprintf(stderr, "misbehaving-host: cannot set up the song in %s\n", argv[3]);
        return 2;
    }

    int passed = 0;
    int failed = 0;
    for (const Case& c : kCases) {
        const bool chosen = argc == 4 || std::any_of(argv + 4, argv + argc, [&](const char* a) {
                                return std::strcmp(a, c.name) == 0;
                            });
        if (!chosen) continue;
        host.failure.clear();
        if (c.run(host) && host.failure.empty()) {
            std::printf("PASS %s: %s\n", c.name, c.what);
            ++passed;
        } else {
            std::printf("FAIL %s: %s: %s\n", c.name, c.what, host.failure.c_str());
            ++failed;
        }
        std::fflush(stdout);
    }
    fs::remove_all(host.scratch, error);
    std::printf("misbehaving-host: %d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}
