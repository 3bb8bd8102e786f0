#include "plugin/LoadSong.h"

#include "mml/SpiritClassic.h"

#include <exception>
#include <mutex>
#include <string>

#include "mml/MMLParser.h"
#include "platform/ErrorReporter.h"
#include "platform/FileKind.h"
#include "song/CompileContext.h"

// Deliberate choices:
// - The file is mapped by Spirit's file iterator (mmap on POSIX, a file mapping
//   view on Windows; a directory or an empty file cannot be mapped), but the
//   grammar walks the mapped bytes through plain pointers. Every copy of a file
//   iterator shares ownership of the mapping, and the parser copies iterators
//   for each character it looks at: the reference counting alone cost most of
//   the compile time. The iterator stays alive, and the mapping with it, until
//   the compile ends.
// - Compiles take turns, one at a time per process. Spirit's grammars draw
//   their ids and definitions from process-wide pools that are not guarded
//   (Boost.Thread would be needed for that), and a host may open two files
//   on two threads at once.

// The pointer walk needs the whole file in memory at once: refuse to build
// with the fallback that reads the file a character at a time.
#if !defined(BOOST_SPIRIT_FILEITERATOR_WINDOWS) && !defined(BOOST_SPIRIT_FILEITERATOR_POSIX)
#error "Spirit's file iterator does not map files on this platform"
#endif

namespace {

using MappedFile = boost::spirit::classic::file_iterator<char>;
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
    MappedFile mapped(fileName);
    if (!mapped) return nullptr;  // missing, unreadable, not a regular file, or empty
    SourceIterator first = &*mapped;
    const SourceIterator last = first + (mapped.make_end() - mapped);

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
