#include "plugin/LoadSong.h"

#include "mml/SpiritClassic.h"

#include <exception>
#include <mutex>
#include <string>

#include "mml/MMLParser.h"
#include "platform/ErrorReporter.h"
#include "platform/FileKind.h"
#include "platform/WholeFile.h"
#include "song/CompileContext.h"

// Deliberate choices:
// - The file is read into memory in one go, not mapped: a mapped file that
//   another program truncates while it is compiled (an editor saving the song
//   in place) faults the reader, on POSIX with SIGBUS, and a player must not
//   die because a song was saved. The grammar walks the bytes through plain
//   pointers, which is also what keeps the compile fast.
// - Compiles take turns, one at a time per process. Spirit's grammars draw
//   their ids and definitions from process-wide pools that are not guarded
//   (Boost.Thread would be needed for that), and a host may open two files
//   on two threads at once.

namespace {

using SourceIterator = const char*;

bool IsControlByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

std::string MessageHead(const char* fileName, int32_t line) {
    return std::string(fileName) + "(" + std::to_string(line) + ") : ";
}

// The failed line from its stop position up to the first control byte (a
// tab, a line end...) or the end of the file.
std::string ParseErrorMessage(const char* fileName, int32_t line, SourceIterator stop,
                              SourceIterator last) {
    std::string message = MessageHead(fileName, line) + "parse error at \"";
    for (; stop != last && !IsControlByte(*stop); ++stop) message += *stop;
    message += "\"\n";
    return message;
}

}  // namespace

std::unique_ptr<Song> LoadSong(const char* fileName) {
    // Only regular files are opened: a FIFO would block the open until some
    // writer appeared. Like a missing file, anything else fails silently.
    if (fileName == nullptr || !platform::IsRegularFile(fileName)) return nullptr;
    std::string source;
    if (!platform::ReadWholeFile(fileName, source)) return nullptr;  // missing, unreadable, empty
    SourceIterator first = source.data();
    const SourceIterator last = first + source.size();

    auto song = std::make_unique<Song>();
    std::string message;
    {
        static std::mutex compileMutex;
        const std::lock_guard<std::mutex> lock(compileMutex);
        CompileContext context(*song);
        const Tarsel::MMLParser grammar(context);
        try {
            while (first != last) {
                const Tarsel::LineParse<SourceIterator> result =
                    Tarsel::ParseLine(first, last, grammar);
                if (!result.hit) {
                    message = ParseErrorMessage(fileName, context.line, result.stop, last);
                    break;
                }
                first = result.stop;
            }
        } catch (const std::exception& e) {
            message = MessageHead(fileName, context.line) + e.what() + "\n";
        }
    }
    // Shown outside the lock: a message box blocks until the user closes it.
    if (message.empty()) return song;
    platform::ShowError(message);
    return nullptr;
}
