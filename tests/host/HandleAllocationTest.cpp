// A playlist scanner opens and closes thousands of files through one loaded
// plug-in: 10 000 open, render and close cycles, failed opens among them,
// must leave no allocation behind. Counted with a replaced global operator
// new in this test program.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "platform/ErrorReporter.h"
#include "plugin/EntryPoints.h"

// The replacements pair malloc with free; GCC cannot see that through inlining.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<long> g_live{0};  // blocks from operator new not yet deleted
}  // namespace

void* operator new(std::size_t size) {
    if (void* p = std::malloc(size ? size : 1)) {
        g_live.fetch_add(1, std::memory_order_relaxed);
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    if (p != nullptr) g_live.fetch_sub(1, std::memory_order_relaxed);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace {

TEST(HandleAllocationTest, TenThousandOpenAndCloseCyclesLeaveNoAllocationBehind) {
    const std::string data = std::string(VELNARI_SOURCE_DIR) + "/tests/host/data/";
    // Every tenth open fails on a compile fault, every tenth on a missing file.
    const std::vector<std::string> songs = {
        data + "duet.mml",   data + "duet.mml",   data + "duet.mml", data + "duet.mml",
        data + "duet.mml",   data + "duet.mml",   data + "duet.mml", data + "duet.mml",
        data + "faulty.mml", data + "missing.mml"};
    long faults = 0;
    const platform::ErrorReporter previous =
        platform::SetErrorReporter([&](std::string_view, std::string_view) { ++faults; });
    std::vector<uint8_t> buffer(4096);
    long opened = 0;
    const auto cycle = [&](int i) {
        SoundInfo info{};
        PluginHandle handle = plugin::Open(songs[i % songs.size()].c_str(), &info);
        if (handle == nullptr) return;
        ++opened;
        plugin::Render(handle, buffer.data(), static_cast<uint32_t>(buffer.size()));
        plugin::Close(handle);
    };
    // The first cycles build what lives as long as the process (shared chip
    // tables, the compiler's static parts).
    for (int i = 0; i < static_cast<int>(songs.size()); ++i) cycle(i);
    const long before = g_live.load();
    opened = faults = 0;
    for (int i = 0; i < 10000; ++i) cycle(i);
    EXPECT_EQ(g_live.load(), before);
    EXPECT_EQ(opened, 8000);
    EXPECT_EQ(faults, 1000);
    platform::SetErrorReporter(previous);
}

}  // namespace
