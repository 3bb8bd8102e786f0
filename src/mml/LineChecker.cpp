#include "mml/LineChecker.h"

#include <algorithm>
#include <array>
#include <bit>
#include <span>

#include "mml/Readable.h"
#include "platform/TextEncoding.h"
#include "song/CommandTable.h"
#include "song/Tags.h"
#include "song/VoiceFields.h"
#include "text/Case.h"
#include "text/Decode.h"

// Deliberate choices:
// - Only what the compile or the player certainly does differently from the
//   text is flagged: a value that is clamped, wrapped or read as 0, a command
//   that compiles to nothing, a definition that leaves values to chance. Style
//   (lengths that are not exact, unusual but working values) is left alone.
// - A tempo is flagged where it is overridden, not where it wins, and only
//   when the values differ: writing the same tempo twice changes nothing.

namespace Tarsel {

namespace {

namespace code = song::code;

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsWholeNumber(std::string_view text) {
    // The grammar's arguments are integers, with or without a dot after them,
    // or a dot alone; only a plain integer reads as itself.
    return !text.empty() && text.find('.') == std::string_view::npos;
}

std::string Quote(std::string_view text) {
    // Appended, not "'" + ...: MinGW's GCC 12 warns falsely (-Wrestrict)
    // about the string inserted at the front.
    std::string quoted = "'";
    quoted += Readable(text, 40);
    quoted += '\'';
    return quoted;
}

std::string Count(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What a control command takes, for "takes ..." in messages.
std::string Takes(const song::ControlCommand& row) {
    if (row.most == 0) return "no value";
    if (row.least == row.most) return Count(row.least, "value", "values");
    return std::to_string(row.least) + " to " + std::to_string(row.most) + " values";
}

}  // namespace

void LineChecker::OnCompileStart(const CompileContext& context, std::string_view source) {
    context_ = &context;
    lines_ = SourceLines(source);
}

SourcePlace LineChecker::PlaceOf(const char* at, std::size_t length) const {
    const std::string_view text = lines_.Text();
    if (at == nullptr || at < text.data() || at > text.data() + text.size()) return {};
    return lines_.PlaceOf(static_cast<std::size_t>(at - text.data()), length);
}

SourcePlace LineChecker::ArgPlace(std::size_t i) const {
    return i < argTexts_.size() ? PlaceOf(argTexts_[i].data(), argTexts_[i].size()) : SourcePlace{};
}

void LineChecker::OnLineStart(LineKind kind, std::string_view syntax) {
    ResolveSoundLine();
    argTexts_.clear();
    if (kind == kSoundLine) pendingSoundLine_ = syntax.data();
}

void LineChecker::OnCommandStart(char) {
    argTexts_.clear();
}

void LineChecker::OnArgument(std::string_view text) {
    argTexts_.push_back(text);
}

void LineChecker::OnCompile(Compiled what, std::string_view text) {
    switch (what) {
        case Compiled::kControl:
            CheckControl(text);
            break;
        case Compiled::kNote:
            CheckNote(text);
            break;
        case Compiled::kOpLine:
        case Compiled::kLfoLine:
            CheckVoiceLine(what == Compiled::kOpLine, text);
            break;
        case Compiled::kEnvelopeLine:
            CheckEnvelope(text);
            break;
        case Compiled::kTagLine:
            CheckTag(text);
            break;
        case Compiled::kCall:
            break;
    }
}

void LineChecker::CheckTag(std::string_view text) {
    if (argTexts_.size() != 2) return;
    const std::string keyword = text::AsciiLower(argTexts_[0]);
    const SourcePlace place = PlaceOf(text.data(), text.size());
    // Several notes lines make one text; any other tag is one line's.
    if (keyword != "#notes") {
        const auto [given, first] = tagsGiven_.try_emplace(keyword, place);
        if (!first) {
            sink_.Add(
                Warning::Kind::kTag, given->second,
                keyword + " is given again on line " + std::to_string(place.line) + ", which wins");
            given->second = place;
        }
    }
    std::string_view value = argTexts_[1];
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (!text::DecodeText(value, platform::ShiftJisToUtf8)) {
        sink_.Add(Warning::Kind::kTag, ArgPlace(1),
                  "the text is neither UTF-8 nor Shift-JIS: its other bytes read as '?'");
    } else if (keyword == "#date") {
        if (const auto fault = song::DateFault(value)) {
            sink_.Add(Warning::Kind::kTag, ArgPlace(1), *fault + ", so the song has no date");
        }
    }
}

void LineChecker::Finish() {
    ResolveSoundLine();
    CloseVoiceBlock();
    // One tempo for the whole song: the last one compiled.
    if (!tempos_.empty()) {
        const Tempo& last = tempos_.back();
        for (std::size_t i = 0; i + 1 < tempos_.size(); ++i) {
            if (tempos_[i].value == last.value) continue;
            // Appended piece by piece: "t" + std::to_string(...) makes
            // MinGW's GCC 12 warn falsely (-Wrestrict).
            std::string text = "t";
            text += std::to_string(tempos_[i].value);
            text += " has no effect: a song has one tempo, set by the last 't' in the file (t";
            text += std::to_string(last.value);
            text += " on line ";
            text += std::to_string(last.place.line);
            text += ")";
            sink_.Add(Warning::Kind::kTempo, tempos_[i].place, text);
        }
    }
}

void LineChecker::CheckWholeNumbers(std::size_t from) {
    for (std::size_t i = from; i < argTexts_.size(); ++i) {
        if (argTexts_[i].empty() || IsWholeNumber(argTexts_[i])) continue;
        sink_.Add(Warning::Kind::kValueOutOfRange, ArgPlace(i),
                  Quote(argTexts_[i]) + " is not a whole number: it reads as 0");
    }
}

void LineChecker::CheckLength(std::string_view length, SourcePlace place, bool isRest) {
    if (length.empty()) return;
    if (length.back() == '.') length.remove_suffix(1);
    const int32_t n = CompileContext::ToInt(length);
    if (n >= 1 && n <= 64) return;
    std::string text = "length " + std::string(length) + " plays a whole note (64 ticks)";
    if (n == 0 && isRest) text += ", not the default length";
    if (n < 0) text += "; lengths run from 1 to 64";
    sink_.Add(Warning::Kind::kValueOutOfRange, place, text);
}

void LineChecker::CheckNote(std::string_view text) {
    // args: the accidental (possibly empty), then the length text.
    if (argTexts_.size() < 2) return;
    std::string_view length = argTexts_[1];
    if (!length.empty() && length.front() == '-' && !argTexts_[0].empty()) {
        // "d--4": the second sign belongs to the length.
        sink_.Add(Warning::Kind::kValueOutOfRange, PlaceOf(text.data(), text.size()),
                  Quote(text) + " is one accidental and the length " + std::string(length) +
                      ", which plays a whole note");
        return;
    }
    if (!length.empty() && length.front() == '+' && !argTexts_[0].empty()) {
        // "c++4": the second sign is the length's, which it does not change.
        sink_.Add(Warning::Kind::kValueOutOfRange, PlaceOf(text.data(), text.size()),
                  Quote(text) + " is one accidental: a double sharp plays as a single one");
        return;
    }
    CheckLength(length, ArgPlace(1), false);
}

void LineChecker::CheckControl(std::string_view text) {
    const char letter = context_->command;
    const SourcePlace place = PlaceOf(text.data(), text.size());
    const song::ControlCommand* row = song::FindControl(letter, context_->commandPrefix);
    if (row == nullptr) {
        sink_.Add(Warning::Kind::kIgnoredCommand, place,
                  Quote(text.substr(0, 1)) + " is not a command: it is ignored");
        return;
    }
    const std::vector<std::string>& args = context_->args;
    const auto n = static_cast<int>(args.size());
    if (n < row->least || n > row->most) {
        std::string why;
        if (row->lengthArgument && n == 2 && args[1] == ".") {
            why = "a length takes one dot at most";
        } else {
            why = song::Spelling(*row) + " takes " + Takes(*row) + ", not " + std::to_string(n);
        }
        sink_.Add(Warning::Kind::kIgnoredCommand, place, Quote(text) + " does nothing: " + why);
        return;
    }
    CheckWholeNumbers(row->lengthArgument ? 1 : 0);
    const auto value = [&](std::size_t i) {
        return i < args.size() ? CompileContext::ToInt(args[i]) : 0;
    };
    const auto warnRange = [&](std::string message) {
        sink_.Add(Warning::Kind::kValueOutOfRange, place, std::move(message));
    };
    const int32_t v = value(0);
    const song::ValueRange& range = row->ranges[0];
    const std::string rangeText =
        "(" + std::to_string(range.lowest) + "-" + std::to_string(range.highest) + ")";
    if ((row->code == code::kVolume || row->code == code::kOctave) && !args.empty() &&
        !args[0].empty() && args[0].front() == '+') {
        // Other dialects read these as steps up; here the sign is just a sign.
        warnRange(Quote(text) + " sets " + std::string(1, Lower(text.front())) + std::to_string(v) +
                  ": a '+' does not step up from the current value");
    }
    switch (row->code) {
        case code::kTempo:
            tempos_.push_back({v, place});
            if (v <= 0) {
                sink_.Add(Warning::Kind::kTempo, place,
                          v == 0 ? "t0 stops time: a tick lasts for hours"
                                 : "a negative tempo makes every tick one frame long");
            }
            break;
        case code::kRest:
        case code::kWait:
        case code::kLength:
            if (n == 1) CheckLength(args[0], ArgPlace(0), row->code != code::kLength);
            break;
        case code::kGate:
            if (v > 8) warnRange(Quote(text) + ": gates above 8 play as q8");
            if (v < 0) warnRange(Quote(text) + ": a negative gate plays every note as a blip");
            break;
        case code::kLoopOpen:
            if (v < 0) {
                sink_.Add(Warning::Kind::kLoop, place,
                          Quote(text) + ": a negative count loops for ever, like '{'");
            }
            break;
        case code::kEnvelopeShape:
            if (!range.Holds(v)) {
                warnRange(Quote(text) + " is out of range " + rangeText +
                          ": the chip keeps the low 4 bits, " + std::to_string(range.Fit(v)));
            }
            break;
        case code::kRegister: {
            const int32_t data = value(1);
            if (!range.Holds(v)) {
                sink_.Add(Warning::Kind::kRegister, place,
                          Quote(text) + ": the chip has registers 0 to 255; this write is ignored");
            } else if (!row->ranges[1].Holds(data)) {
                warnRange(Quote(text) + ": only the low 8 bits of the value are written, " +
                          std::to_string(row->ranges[1].Fit(data)));
            }
            if (v == 7) {
                sink_.Add(Warning::Kind::kRegister, place,
                          Quote(text) +
                              ": the player rewrites the SSG mixer (register 7) at every SSG "
                              "note and in every tick after one has ended, so this write "
                              "lasts only while every SSG part holds a sounding note");
            } else if (v >= 8 && v <= 10) {
                sink_.Add(Warning::Kind::kRegister, place,
                          Quote(text) +
                              ": the player rewrites the SSG levels (registers 8-10) "
                              "every tick, so this write lasts one tick at most");
            } else if (v == 0x27 && (data & 0xFF) != 0x40) {
                sink_.Add(Warning::Kind::kRegister, place,
                          Quote(text) +
                              ": register 39 (0x27) must keep 0x40 (64), which part 3's "
                              "operator ratios rely on");
            }
            break;
        }
        case code::kPortamento:
            break;  // a negative length switches the glide off, as 0 does
        default:
            // What the command table says of the first value: 'v', 'o', 'm'.
            if (range.Holds(v)) break;
            if (range.outside == song::OutOfRange::kClamped) {
                warnRange(Quote(text) + " is out of range " + rangeText + ": it plays as " +
                          song::Spelling(*row) + std::to_string(range.Fit(v)));
            } else if (range.outside == song::OutOfRange::kLowBits) {
                warnRange(Quote(text) + " is out of range " + rangeText + ": only the low " +
                          std::to_string(std::bit_width(static_cast<uint32_t>(range.highest))) +
                          " bits count, " + std::to_string(range.Fit(v)));
            } else {
                warnRange(Quote(text) + " is out of range " + rangeText + ": it does nothing");
            }
            break;
    }
}

void LineChecker::CheckVoiceLine(bool isOp, std::string_view text) {
    const std::span<const song::VoiceField> fields =
        isOp ? std::span<const song::VoiceField>(song::kOpLineFields) : song::kLfoLineFields;
    const std::size_t expected = fields.size();
    const std::string line = isOp ? "op" + std::to_string(context_->part + 1) + ":" : "lfo:";
    const SourcePlace place = PlaceOf(text.data(), text.size());
    const std::size_t n = argTexts_.size();
    if (n < expected) {
        sink_.Add(Warning::Kind::kDefinition, place,
                  line + " has " + Count(static_cast<int>(n), "value", "values") + " of " +
                      std::to_string(expected) +
                      (isOp ? " (AR DR SR RR SL TL KS MUL DT ratio)"
                            : " (three unused, algorithm, feedback)") +
                      ": the missing ones are 0");
    } else if (n > expected) {
        sink_.Add(
            Warning::Kind::kDefinition, ArgPlace(expected),
            line + " takes " + std::to_string(expected) + " values; the " +
                Count(static_cast<int>(n - expected), "value", "values") +
                (n - expected == 1 ? " from here on is ignored" : " from here on are ignored"));
    }
    CheckWholeNumbers(0);
    for (std::size_t i = 0; i < std::min(n, expected); ++i) {
        const song::VoiceField& field = fields[i];
        if (field.bits == 0) continue;
        const int32_t v = CompileContext::ToInt(argTexts_[i]);
        if (v >= 0 && v <= field.Largest()) continue;
        sink_.Add(Warning::Kind::kValueOutOfRange, ArgPlace(i),
                  std::string(field.name) + " " + std::to_string(v) + " is out of range (0-" +
                      std::to_string(field.Largest()) + "): only its low bits count, so it is " +
                      std::to_string(field.Keep(v)));
    }
    if (inVoiceBlock_) voice_.linesSeen |= isOp ? 2u << context_->part : 1u;
}

void LineChecker::CheckEnvelope(std::string_view text) {
    const SourcePlace place = PlaceOf(text.data(), text.size());
    const std::vector<std::string>& args = context_->args;
    if (args.size() < 3) {
        sink_.Add(Warning::Kind::kDefinition, place,
                  "an envelope needs its number, a step length and at least one level: this "
                  "line defines nothing");
        return;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].empty()) {
            sink_.Add(Warning::Kind::kDefinition, ArgPlace(i),
                      i >= 2 ? "an empty level reads as 0 (a comma at the end of a line adds one)"
                             : "an empty value reads as 0");
            continue;
        }
        if (i < 2) continue;
        const int32_t level = CompileContext::ToInt(args[i]);
        if (level < 0) {
            sink_.Add(Warning::Kind::kNegativeEnvelopeLevel, ArgPlace(i),
                      "level " + args[i] + " is stored as 8 bits (" + std::to_string(level & 0xFF) +
                          "): it plays at full volume, not silent; the lowest level is 0");
        } else if (level > 255) {
            sink_.Add(Warning::Kind::kValueOutOfRange, ArgPlace(i),
                      "level " + args[i] + " is stored as 8 bits (" + std::to_string(level & 0xFF) +
                          "); 15 plays the part's own volume");
        }
    }
    const int32_t number = CompileContext::ToInt(args[0]);
    const auto [first, added] = envelopesDefined_.try_emplace(number, place);
    if (!added) {
        sink_.Add(Warning::Kind::kDefinition, place,
                  "envelope " + std::to_string(number) + " is defined again (first on line " +
                      std::to_string(first->second.line) + "): this definition replaces it");
    }
}

void LineChecker::ResolveSoundLine() {
    if (pendingSoundLine_ == nullptr) return;
    CloseVoiceBlock();
    inVoiceBlock_ = true;
    voice_ = {context_->soundNumber, PlaceOf(pendingSoundLine_), 0};
    pendingSoundLine_ = nullptr;
}

void LineChecker::CloseVoiceBlock() {
    if (!inVoiceBlock_) return;
    inVoiceBlock_ = false;
    const std::string name = "voice " + std::to_string(voice_.number);
    if (voice_.linesSeen == 0) {
        sink_.Add(Warning::Kind::kDefinition, voice_.place,
                  "no lfo or op line follows: " + name + " is not defined");
        return;
    }
    const auto [first, added] = voicesDefined_.try_emplace(voice_.number, voice_.place);
    if (!added) {
        sink_.Add(Warning::Kind::kDefinition, voice_.place,
                  name + " is defined again (first on line " + std::to_string(first->second.line) +
                      "): this definition replaces it");
    }
    if (voice_.linesSeen == 0x1F) return;
    std::string missing;
    for (unsigned bit = 0; bit < 5; ++bit) {
        if (voice_.linesSeen & (1u << bit)) continue;
        missing += (missing.empty() ? "" : ", ") +
                   (bit == 0 ? std::string("lfo") : "op" + std::to_string(bit));
    }
    sink_.Add(Warning::Kind::kDefinition, voice_.place,
              name + " has no " + missing +
                  " line: it keeps those values from the voice defined before it");
}

}  // namespace Tarsel
