// play --watch as someone editing a song meets it, through SDL's disk
// driver: the song saved in place, a save that does not compile, a save by
// rename (with a new tempo), the r and q keys. The played bytes are walked
// against renders of each version to find where each one took over.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CliTestSupport.h"
#include "engine/Engine.h"
#include "mml/Compile.h"
#include "mml/Warnings.h"

namespace {

using clitest::Quote;
using clitest::ReadFile;
using clitest::RunVelnari;
using clitest::ScratchDir;

constexpr uint32_t kRate = 22050;
constexpr int64_t kBufferFrames = 2048;        // the disk driver's device buffer
constexpr int64_t kLongestFade = kRate / 100;  // "a few milliseconds": at most 10 ms
constexpr int64_t kRun = 4096;                 // frames that must match to count as a take

// One version of the song, rendered from its beginning as far as asked.
class Version {
  public:
    explicit Version(const std::string& text)
        : engine_(std::make_unique<engine::Engine>(Tarsel::Compile(text, "song.mml").song, kRate)) {
    }

    int64_t FramesPerTick() const { return engine_->FramesPerTick(); }
    const int16_t* Frames(int64_t end) {
        if (end > engine_->Frame()) {
            frames_.resize(static_cast<std::size_t>(end) * 2);
            engine_->Render(frames_.data() + 2 * engine_->Frame(),
                            static_cast<int32_t>(end - engine_->Frame()));
        }
        return frames_.data();
    }

  private:
    std::unique_ptr<engine::Engine> engine_;
    std::vector<int16_t> frames_;
};

// Where one version took over: at played frame `at`, from its frame `from`,
// sounding alone `fade` frames later.
struct Take {
    int version;
    int64_t at;
    int64_t from;
    int64_t fade;
    int64_t frames = 0;  // played, up to the next take
};

class Walk {
  public:
    Walk(const std::string& played, std::vector<Version>& versions) : versions_(versions) {
        frames_ = reinterpret_cast<const int16_t*>(played.data());
        count_ = static_cast<int64_t>(played.size() / 4);
    }

    // The takes, in order; empty until the first version is seen starting.
    std::vector<Take> Takes() {
        std::vector<Take> takes;
        for (int64_t at = 0; at < count_ && takes.empty(); at += kBufferFrames) {
            if (Matches(0, 0, at, std::min(kRun, count_ - at))) takes.push_back({0, at, 0, 0});
        }
        while (!takes.empty()) {
            Take& take = takes.back();
            const int64_t start = take.at + take.fade;
            const int64_t from = take.from + take.fade;
            take.frames = take.fade + MatchLength(take.version, from, start);
            const int64_t end = take.at + take.frames;
            if (end >= count_) break;
            const int64_t songFrame = take.from + take.frames;
            auto next = NextTake(take.version, songFrame, end);
            if (!next) break;
            takes.push_back(*next);
        }
        return takes;
    }

  private:
    bool Matches(int version, int64_t from, int64_t at, int64_t count) {
        if (count <= 0 || at + count > count_) return false;
        const int16_t* reference = versions_[version].Frames(from + count) + 2 * from;
        return std::equal(reference, reference + 2 * count, frames_ + 2 * at);
    }

    int64_t MatchLength(int version, int64_t from, int64_t at) {
        const int16_t* reference = versions_[version].Frames(from + count_ - at) + 2 * from;
        int64_t n = 0;
        while (at + n < count_ && reference[2 * n] == frames_[2 * (at + n)] &&
               reference[2 * n + 1] == frames_[2 * (at + n) + 1]) {
            ++n;
        }
        return n;
    }

    // The take that follows a mismatch at played frame `at` (frame
    // `songFrame` of `version`): it began at most kLongestFade earlier, on a
    // tick boundary of the playing version (a new version, at the same tick
    // of its own) or on a device buffer (a restart from frame 0).
    std::optional<Take> NextTake(int version, int64_t songFrame, int64_t at) {
        const int64_t perTick = versions_[version].FramesPerTick();
        for (int64_t back = 0; back <= kLongestFade && back <= songFrame; ++back) {
            const int64_t start = at - back;
            const int64_t startFrame = songFrame - back;
            const bool onTick = startFrame % perTick == 0;
            const bool onBuffer = start % kBufferFrames == 0;
            for (int w = 0; w < static_cast<int>(versions_.size()); ++w) {
                for (int64_t from :
                     {onTick ? startFrame / perTick * versions_[w].FramesPerTick() : int64_t{-1},
                      onBuffer ? int64_t{0} : int64_t{-1}}) {
                    if (from < 0) continue;
                    for (int64_t fade = 1; fade <= kLongestFade; ++fade) {
                        const int64_t run = std::min(kRun, count_ - start - fade);
                        if (Matches(w, from + fade, start + fade, run)) {
                            return Take{w, start, from, fade};
                        }
                    }
                }
            }
        }
        return std::nullopt;
    }

    std::vector<Version>& versions_;
    const int16_t* frames_;
    int64_t count_;
};

TEST(ProgramWatch, SavesTakeOverAtTheSameTickAndBadSavesKeepTheOldSongPlaying) {
    std::signal(SIGPIPE, SIG_IGN);  // should the program end early, the key pipe breaks
    ScratchDir dir;
    const std::string a = "6: t120 v12 o4 c4 e4 g4 e4 c2 r2\n4: v10 o5 c8 e8 g8 e8 d8 f8 a8 f8\n";
    const std::string b = "6: t120 v12 o3 a4 f4 d4 f4 a2 r2\n4: v10 o6 c8 e8 g8 e8 d8 f8 a8 f8\n";
    const std::string bad = "6: t120 v12 o3 a4 ! f4\n";
    const std::string warned = "6: t120 v12 o3 a4 v+2 f4\n";  // refused under --werror
    const std::string c = "6: t150 v13 o4 g2 e2\n5: v9 o5 c16 d16 e16 f16 g4\n";
    const std::string song = dir / "song.mml";
    dir.Write("song.mml", a);
    ASSERT_EQ(std::system(("mkfifo " + Quote(dir / "keys")).c_str()), 0);

    clitest::RunResult result;
    std::thread program([&] {
        result = RunVelnari(
            dir, "play song.mml --watch --werror --format gnu --seconds 3600 --rate 22050",
            "SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=40 SDL_DISKAUDIOFILE=" +
                Quote(dir / "played.raw") + " timeout -s INT 180",
            VELNARI_PROGRAM, dir / "keys");
    });
    std::ofstream keys(dir / "keys");  // opens once the program's shell does

    std::vector<Version> versions;
    for (const std::string* text : {&a, &b, &c}) versions.emplace_back(*text);
    // Waits (at most a minute) until there are at least `count` takes, the
    // last of them `version` with at least `frames` frames played; returns
    // how many takes there are then.
    auto playing = [&](std::size_t count, int version, int64_t frames) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < until) {
            const std::vector<Take> takes = Walk(ReadFile(dir / "played.raw"), versions).Takes();
            if (takes.size() >= count && takes.back().version == version &&
                takes.back().frames >= frames) {
                return takes.size();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << "take " << count << " never played version " << version << " for "
                      << frames << " frames";
        return std::size_t{0};
    };

    EXPECT_EQ(playing(1, 0, kRate), 1u);
    std::ofstream(song, std::ios::trunc) << b;  // saved in place
    EXPECT_EQ(playing(2, 1, kRate), 2u);
    std::ofstream(song, std::ios::trunc) << warned;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(playing(2, 1, 2 * kRate), 2u) << "a save with warnings took over under --werror";
    std::ofstream(song, std::ios::trunc) << bad;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(playing(2, 1, 3 * kRate), 2u) << "the bad save changed what plays";
    std::ofstream(dir / "song.new") << c;  // saved by rename, at another tempo
    std::filesystem::rename(dir / "song.new", song);
    EXPECT_EQ(playing(3, 2, kRate), 3u);
    keys << 'r' << std::flush;
    EXPECT_EQ(playing(4, 2, kRate), 4u) << "r restarts";
    keys << 'q' << std::flush;
    keys.close();
    program.join();
    EXPECT_EQ(result.status, 0) << result.err;

    const std::vector<Take> takes = Walk(ReadFile(dir / "played.raw"), versions).Takes();
    ASSERT_EQ(takes.size(), 4u);
    const int64_t tickA = versions[0].FramesPerTick();
    const int64_t tickC = versions[2].FramesPerTick();
    ASSERT_NE(tickA, tickC);
    EXPECT_EQ(takes[0].from, 0);
    // B at the very tick A had reached; C at the tick B had reached, which
    // at C's tempo is another frame.
    const Take& toB = takes[1];
    EXPECT_EQ(toB.from % tickA, 0);
    EXPECT_EQ(toB.from, takes[0].from + (toB.at - takes[0].at));
    const Take& toC = takes[2];
    const int64_t bFrame = toB.from + (toC.at - toB.at);
    EXPECT_EQ(bFrame % tickA, 0);
    EXPECT_EQ(toC.from, bFrame / tickA * tickC);
    EXPECT_EQ(takes[3].from, 0);
    for (const Take& take : takes) EXPECT_LE(take.fade, kLongestFade);

    // The warning and the fault once each, as check shows them in the format chosen.
    const Tarsel::CompileFault fault = *Tarsel::Compile(bad, "song.mml").fault;
    const Tarsel::Warning warning = Tarsel::FindWarnings(warned, "song.mml").at(0);
    for (const std::string& line :
         {"song.mml:" + std::to_string(warning.line) + ":" + std::to_string(warning.column) +
              ": warning: " + warning.text + "\n",
          "song.mml:" + std::to_string(fault.line) + ":" + std::to_string(fault.column) +
              ": error: " + fault.readable + "\n"}) {
        const std::size_t found = result.err.find(line);
        EXPECT_NE(found, std::string::npos) << line << result.err;
        EXPECT_EQ(result.err.find(line, found + 1), std::string::npos) << result.err;
    }
}

}  // namespace
