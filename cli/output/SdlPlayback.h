#pragma once
// Real-time output through an SDL2 audio device. SDL pulls frames from its
// own audio thread; the playback hands each request to a fill function and
// pads with silence after the last frame, at which point Done() turns true.
//
// The device is opened for exactly the requested format (16-bit stereo at
// the render rate), SDL converting if the hardware wants another, so the
// frames reach the device as the fill function wrote them.

#include <atomic>
#include <cstdint>
#include <functional>

namespace cli {

class SdlPlayback {
  public:
    // What one fill delivered: how many frames, and whether they were the last.
    struct Chunk {
        int32_t frames = 0;
        bool last = false;
    };
    // Writes up to `count` frames. Called on SDL's audio thread.
    using FillFunction = std::function<Chunk(int16_t* frames, int32_t count)>;

    // Opens the default device, paused. Throws CliError when SDL has no audio.
    SdlPlayback(uint32_t rate, FillFunction fill);
    ~SdlPlayback();

    SdlPlayback(const SdlPlayback&) = delete;
    SdlPlayback& operator=(const SdlPlayback&) = delete;

    void Start();
    // The fill function has delivered its last frame to the device.
    bool Done() const { return done_.load(); }
    // Frames handed to the device so far (for the progress line).
    int64_t FramesDelivered() const { return delivered_.load(); }
    // Stops the device now; the destructor does the same.
    void Stop();

  private:
    static void Callback(void* self, uint8_t* stream, int length);

    FillFunction fill_;
    uint32_t device_ = 0;
    std::atomic<bool> done_{false};
    std::atomic<int64_t> delivered_{0};
};

}  // namespace cli
