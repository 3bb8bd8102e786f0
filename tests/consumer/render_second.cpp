// Compiles the MML text on standard input and writes its first second at
// 44100 Hz to standard output as raw 16-bit stereo, using only what an
// installed velnari offers. A compile fault goes to standard error, status 1.

#include <velnari/Version.h>
#include <velnari/engine/Engine.h>
#include <velnari/mml/Compile.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

int main() {
    const std::string text{std::istreambuf_iterator<char>(std::cin), {}};
    const Tarsel::CompileResult compiled = Tarsel::Compile(text, "stdin");
    if (compiled.fault) {
        std::cerr << compiled.fault->message;
        return 1;
    }
    constexpr uint32_t kRate = 44100;
    engine::Engine engine(compiled.song, kRate);
    if (!engine.Ready()) {
        std::cerr << "velnari " << velnari::kVersion << ": the engine did not start\n";
        return 1;
    }
    std::vector<int16_t> frames(2 * kRate);
    engine.Render(frames.data(), kRate);
    std::fwrite(frames.data(), sizeof(int16_t), frames.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
