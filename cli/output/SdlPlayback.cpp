#include "output/SdlPlayback.h"

#include <SDL.h>

#include <cstring>
#include <string>

#include "CliError.h"

namespace cli {

SdlPlayback::SdlPlayback(uint32_t rate, FillFunction fill) : fill_(std::move(fill)) {
    // The program handles Ctrl-C itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        throw CliError(kExitFailure, std::string("no audio output: ") + SDL_GetError());
    }
    SDL_AudioSpec wanted{};
    wanted.freq = static_cast<int>(rate);
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = 2048;
    wanted.callback = &SdlPlayback::Callback;
    wanted.userdata = this;
    SDL_AudioSpec obtained{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device_ == 0) {
        const std::string reason = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        throw CliError(kExitFailure, "cannot open the audio device: " + reason);
    }
}

SdlPlayback::~SdlPlayback() {
    Stop();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlPlayback::Start() {
    SDL_PauseAudioDevice(device_, 0);
}

void SdlPlayback::Stop() {
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        device_ = 0;
    }
}

void SdlPlayback::Callback(void* self, uint8_t* stream, int length) {
    auto& playback = *static_cast<SdlPlayback*>(self);
    const int32_t frames = length / 4;
    int32_t written = 0;
    if (!playback.done_.load()) {
        const Chunk chunk = playback.fill_(reinterpret_cast<int16_t*>(stream), frames);
        written = chunk.frames;
        playback.delivered_ += written;
        if (chunk.last) playback.done_ = true;
    }
    std::memset(stream + written * 4, 0, static_cast<std::size_t>(length - written * 4));
}

}  // namespace cli
