#include "mml/Compile.h"

#include "mml/SpiritClassic.h"

#include <boost/lexical_cast/bad_lexical_cast.hpp>

#include <exception>
#include <limits>
#include <mutex>

#include "mml/MMLParser.h"
#include "mml/Readable.h"
#include "platform/FileKind.h"
#include "platform/WholeFile.h"

// Deliberate choices:
// - A file is read into memory in one go, not mapped: a mapped file that
//   another program truncates while it is compiled (an editor saving the song
//   in place) faults the reader, on POSIX with SIGBUS, and a player must not
//   die because a song was saved.
// - The grammar walks plain character pointers, which is what keeps the
//   compile fast (an iterator that shares ownership of its buffer would adjust
//   a count for every character the parser looks at).
// - Compiles take turns, one at a time per process. Spirit's grammars draw
//   their ids and definitions from process-wide pools that are not guarded
//   (Boost.Thread would be needed for that), and a host may open two files on
//   two threads at once.
// - One leading UTF-8 byte-order mark is skipped, as if the file began after
//   it: common Windows editors write one, and nothing gains from a song that
//   fails on an invisible mark. Columns on the first line count from after
//   it. A second mark, or one further in, is text like any other.

namespace Tarsel {

namespace {

bool IsControlByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// 1-based byte column of `at` within its physical line of `text`.
int32_t ColumnOf(const char* text, const char* at) {
    const char* lineStart = at;
    while (lineStart != text && lineStart[-1] != '\n' && lineStart[-1] != '\r') --lineStart;
    return static_cast<int32_t>(at - lineStart) + 1;
}

std::string MessageHead(std::string_view name, int32_t line) {
    return std::string(name) + "(" + std::to_string(line) + ") : ";
}

// The failed line from its stop position up to the first control byte (a
// tab, a line end...) or the end of the text.
CompileFault ParseFault(std::string_view name, int32_t line, const char* text, const char* stop,
                        const char* last) {
    CompileFault fault;
    fault.kind = CompileFault::Kind::kParse;
    fault.line = line;
    fault.column = ColumnOf(text, stop);
    const char* end = stop;
    while (end != last && !IsControlByte(*end)) ++end;
    fault.detail.assign(stop, end);
    fault.message = MessageHead(name, line) + "parse error at \"" + fault.detail + "\"\n";
    // The readable quote runs past tabs and control bytes to the line end.
    const std::string_view rest(stop, static_cast<std::size_t>(last - stop));
    fault.readable = "parse error at \"" + Readable(rest) + "\"";
    return fault;
}

CompileFault ExceptionFault(std::string_view name, int32_t line, const char* text,
                            const CompileContext& context, const std::exception& e) {
    CompileFault fault;
    fault.kind = CompileFault::Kind::kException;
    fault.line = line;
    fault.column = context.commandStart != nullptr ? ColumnOf(text, context.commandStart) : 0;
    fault.detail = e.what();
    fault.message = MessageHead(name, line) + fault.detail + "\n";
    fault.readable = fault.detail;
    if (context.commandStart != nullptr && context.commandEnd != nullptr &&
        dynamic_cast<const boost::bad_lexical_cast*>(&e) != nullptr) {
        // The only conversion that can fail is that of a length.
        const std::string_view command(
            context.commandStart,
            static_cast<std::size_t>(context.commandEnd - context.commandStart));
        fault.readable = "the length in \"" + Readable(command) +
                         "\" is not a number (a dot needs a number before it, with no blank)";
    }
    return fault;
}

CompileResult CompileWith(std::string_view text, std::string_view displayName,
                          CompileObserver* observer) {
    const std::string_view whole = text;
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    const char* const begin = text.data();
    const char* const last = begin + text.size();
    const char* first = begin;

    auto song = std::make_shared<song::Song>();
    CompileResult result;
    static std::mutex compileMutex;
    const std::lock_guard<std::mutex> lock(compileMutex);
    CompileContext context(*song);
    context.observer = observer;
    if (whole.size() <= std::numeric_limits<uint32_t>::max()) context.textBegin = whole.data();
    if (observer) observer->OnCompileStart(context, whole);
    const MMLParser grammar(context);
    try {
        while (first != last) {
            context.commandStart = nullptr;
            context.commandEnd = nullptr;
            const LineParse<const char*> parsed = ParseLine(first, last, grammar);
            if (!parsed.hit) {
                result.fault = ParseFault(displayName, context.line, begin, parsed.stop, last);
                return result;
            }
            first = parsed.stop;
        }
    } catch (const std::exception& e) {
        result.fault = ExceptionFault(displayName, context.line, begin, context, e);
        return result;
    }
    result.song = std::move(song);
    result.extensions = std::move(context.extensions);
    return result;
}

}  // namespace

CompileResult Compile(std::string_view text, std::string_view displayName) {
    return CompileWith(text, displayName, nullptr);
}

CompileResult Compile(std::string_view text, std::string_view displayName,
                      CompileObserver& observer) {
    return CompileWith(text, displayName, &observer);
}

FileCompileResult CompileFile(const std::string& path) {
    FileCompileResult result;
    // Only regular files are opened: a FIFO would block the open until some
    // writer appeared. Like a missing file, anything else is not readable.
    if (!platform::IsRegularFile(path.c_str())) return result;
    std::string source;
    if (!platform::ReadWholeFile(path.c_str(), source))
        return result;  // missing, unreadable, empty
    result.readable = true;
    static_cast<CompileResult&>(result) = Compile(source, path);
    return result;
}

}  // namespace Tarsel
