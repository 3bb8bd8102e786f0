#include "mml/Warnings.h"

#include "mml/LineChecker.h"
#include "mml/PartWalk.h"
#include "platform/FileKind.h"
#include "platform/WholeFile.h"

namespace Tarsel {

std::string_view KindName(Warning::Kind kind) {
    switch (kind) {
        case Warning::Kind::kIgnoredCommand:
            return "ignored-command";
        case Warning::Kind::kValueOutOfRange:
            return "value-out-of-range";
        case Warning::Kind::kDefinition:
            return "definition";
        case Warning::Kind::kUndefinedVoice:
            return "undefined-voice";
        case Warning::Kind::kUndefinedEnvelope:
            return "undefined-envelope";
        case Warning::Kind::kUndefinedMacro:
            return "undefined-macro";
        case Warning::Kind::kRecursiveMacro:
            return "recursive-macro";
        case Warning::Kind::kLoop:
            return "loop";
        case Warning::Kind::kUnreachable:
            return "unreachable";
        case Warning::Kind::kTempo:
            return "tempo";
        case Warning::Kind::kTie:
            return "tie";
        case Warning::Kind::kWrongPart:
            return "wrong-part";
        case Warning::Kind::kSSGPitchRange:
            return "ssg-pitch-range";
        case Warning::Kind::kNegativeEnvelopeLevel:
            return "negative-envelope-level";
        case Warning::Kind::kRegister:
            return "register";
        case Warning::Kind::kHardwareEnvelope:
            return "hardware-envelope";
        case Warning::Kind::kNoise:
            return "noise";
        case Warning::Kind::kSilent:
            return "silent";
        case Warning::Kind::kTag:
            return "tag";
    }
    return "warning";
}

ReviewResult Review(std::string_view text, std::string_view displayName) {
    WarningSink sink;
    LineChecker checker(sink);
    ReviewResult result;
    static_cast<CompileResult&>(result) = Compile(text, displayName, checker);
    if (!result.song) return result;
    checker.Finish();
    WalkParts(*result.song, CommandPlaces(checker.Lines()), sink);
    result.warnings = sink.Take();
    result.plainDialect = PlainDialectFaults(checker.Lines(), result.extensions);
    return result;
}

std::vector<Warning> FindWarnings(std::string_view text, std::string_view displayName) {
    return Review(text, displayName).warnings;
}

FileReviewResult ReviewFile(const std::string& path) {
    FileReviewResult result;
    // Read as CompileFile reads: regular files only, whole, as they are now.
    if (!platform::IsRegularFile(path.c_str())) return result;
    std::string source;
    if (!platform::ReadWholeFile(path.c_str(), source)) return result;
    result.readable = true;
    ReviewResult review = Review(source, path);
    result.song = std::move(review.song);
    result.fault = std::move(review.fault);
    result.warnings = std::move(review.warnings);
    result.extensions = std::move(review.extensions);
    result.plainDialect = std::move(review.plainDialect);
    return result;
}

}  // namespace Tarsel
