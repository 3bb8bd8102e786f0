// Rendering must not allocate: once a song has reached its deepest macro and
// loop nesting, a render of any length leaves the heap alone. Counted with a
// replaced global operator new in this test program.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "plugin/Player.h"

using plugin::Player;

// The replacements pair malloc with free; GCC cannot see that through inlining.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

TEST(PlayerAllocationTest, RenderingAllocatesNothingOnceWarm) {
    Player player(engine::Volumes{});
    SoundInfo info{};
    ASSERT_TRUE(player.Open(VELNARI_SOURCE_DIR "/examples/demo.mml", &info));
    std::vector<uint8_t> buffer(4 * 1500);
    // One pass of the demo's parts brings every stack to its deepest nesting.
    for (int i = 0; i < 44100 * 70 / 1500; ++i) {
        player.Render(buffer.data(), static_cast<uint32_t>(buffer.size()));
    }
    g_allocations = 0;
    g_counting = true;
    for (int i = 0; i < 44100 * 120 / 1500; ++i) {
        player.Render(buffer.data(), static_cast<uint32_t>(buffer.size()));
    }
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);

    // The counter itself works: a restart builds a new sequencer.
    g_counting = true;
    player.Seek();
    g_counting = false;
    EXPECT_GT(g_allocations.load(), 0);
}

}  // namespace
