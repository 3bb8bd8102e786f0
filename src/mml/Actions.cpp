// Deliberate choices:
// - Argument lists shorter than expected are padded with 0 and longer ones cut,
//   silently: the compile is lenient and only a bad length stops it.
// - Register fields keep the low bits of their value, so out-of-range values
//   wrap instead of spilling into the neighbouring field.

#include "mml/Actions.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "platform/TextEncoding.h"
#include "song/CommandTable.h"
#include "song/VoiceFields.h"
#include "text/Case.h"
#include "text/Decode.h"

namespace Tarsel {

namespace {

// Semitone above C of the upper-case note letters A to G.
constexpr std::array<int32_t, 7> kNoteSemitone = {9, 11, 0, 2, 4, 5, 7};

// The arguments as integers, padded with zeros or cut to exactly `count`.
std::vector<int32_t> Values(const std::vector<std::string>& args, std::size_t count) {
    std::vector<int32_t> values(count, 0);
    for (std::size_t i = 0; i < count && i < args.size(); ++i) {
        values[i] = CompileContext::ToInt(args[i]);
    }
    return values;
}

}  // namespace

void ProcessNote::Run(CompileContext& ctx) {
    if (ctx.command < 'A' || ctx.command > 'G') return;
    int32_t semitone = kNoteSemitone[static_cast<std::size_t>(ctx.command - 'A')];
    const std::string empty;
    const std::string& accidental = ctx.args.size() > 0 ? ctx.args[0] : empty;
    const std::string& length = ctx.args.size() > 1 ? ctx.args[1] : empty;
    if (!accidental.empty()) {
        if (accidental[0] == '+') ++semitone;
        if (accidental[0] == '-') --semitone;
    }
    ctx.Emit(song::Command(song::code::kNote, semitone, CompileContext::ParseLength(length), 0));
}

void ProcessCtrl::Run(CompileContext& ctx) {
    const song::ControlCommand* row = song::FindControl(ctx.command, ctx.commandPrefix);
    if (!row) return;
    const std::size_t n = ctx.args.size();
    if (n < row->least || n > row->most) return;
    std::array<int32_t, 3> values{};
    for (std::size_t i = 0; i < n; ++i) values[i] = CompileContext::ToInt(ctx.args[i]);
    if (row->lengthArgument && n >= 1) values[0] = CompileContext::ParseLength(ctx.args[0]);
    if (ctx.lineKind == kPartLine && ctx.part >= 0 && ctx.part < song::kPartCount) {
        int32_t& open = ctx.openLoops[static_cast<std::size_t>(ctx.part)];
        if (row->code == song::code::kLoopOpen) ++open;
        if (row->code == song::code::kLoopClose && open > 0) --open;
    }
    if (row->code == song::code::kTempo) {
        // The tempo belongs to the whole song: the last one compiled wins.
        ctx.song->SetTempo(values[0]);
        return;
    }
    if (row->code == song::code::kTempoChange) ctx.song->NoteTempoChange();
    ctx.Emit(song::Command(row->code, values[0], values[1], values[2]));
}

void ProcessExtension::Run(CompileContext& ctx) {
    namespace code = song::code;
    const std::string written = ctx.commandStart != nullptr && ctx.commandEnd != nullptr
                                    ? std::string(ctx.commandStart, ctx.commandEnd)
                                    : std::string(1, ctx.command);
    Extension kind = Extension::kVolumeStep;
    if (ctx.command == code::kLoopBreak) kind = Extension::kLoopBreak;
    if (ctx.command == code::kTranspose || ctx.command == code::kTransposeBy) {
        kind = Extension::kTranspose;
    }
    if (ctx.commandStart != nullptr && ctx.commandEnd != nullptr) {
        ctx.UseExtension(kind, ctx.commandStart, ctx.commandEnd);
    }
    if (ctx.command == code::kLoopBreak && ctx.lineKind == kPartLine && ctx.part >= 0 &&
        ctx.part < song::kPartCount && ctx.openLoops[static_cast<std::size_t>(ctx.part)] == 0) {
        throw std::invalid_argument(
            "':' is outside any loop: a loop break stands between a '{' and its '}'");
    }
    if (kind == Extension::kVolumeStep) {
        if (ctx.args.empty()) {
            ctx.args.emplace_back("1");
        } else if (!ctx.args[0].empty() && (ctx.args[0][0] == '+' || ctx.args[0][0] == '-')) {
            throw std::invalid_argument("\"" + written + "\" has a sign: '" + ctx.command +
                                        "' takes a count of volume steps, " +
                                        (ctx.command == code::kVolumeUp ? "up" : "down") +
                                        ", without one");
        }
    }
    ProcessCtrl::Run(ctx);
}

void ProcessCall::Run(CompileContext& ctx) {
    ctx.Emit(song::Command(song::code::kCall, ctx.args.empty() ? std::string() : ctx.args[0]));
}

void ProcessOP::Run(CompileContext& ctx) {
    if (ctx.part < 0 || ctx.part >= static_cast<int32_t>(ctx.workVoice.op.size())) return;
    const std::vector<int32_t> v = Values(ctx.args, song::kOpLineFields.size());
    std::array<int32_t, song::kOpLineFields.size()> values{};
    std::copy_n(v.begin(), values.size(), values.begin());
    ctx.workVoice.op[static_cast<std::size_t>(ctx.part)] = song::PackOperator(values);
    ctx.song->SetVoice(ctx.soundNumber, ctx.workVoice);
}

void ProcessLFO::Run(CompileContext& ctx) {
    using namespace song::lfo_field;
    const std::vector<int32_t> v = Values(ctx.args, song::kLfoLineFields.size());
    ctx.workVoice.lfo = {v[kLfo1], v[kLfo2], v[kLfo3]};
    ctx.workVoice.fbAlg = song::PackConnection(v[kAlgorithm], v[kFeedback]);
    ctx.song->SetVoice(ctx.soundNumber, ctx.workVoice);
}

void ProcessSSGEnv::Run(CompileContext& ctx) {
    if (ctx.args.size() < 3) return;
    song::SSGEnvelope envelope;
    const int32_t number = CompileContext::ToInt(ctx.args[0]);
    envelope.stepLength = CompileContext::ToInt(ctx.args[1]);
    envelope.levels.clear();
    envelope.levels.reserve(ctx.args.size() - 2);
    for (std::size_t i = 2; i < ctx.args.size(); ++i) {
        // A level keeps its low 8 bits.
        envelope.levels.push_back(static_cast<uint8_t>(CompileContext::ToInt(ctx.args[i])));
    }
    ctx.song->SetSSGEnvelope(number, envelope);
}

void ProcessTag::Run(CompileContext& ctx) {
    if (ctx.args.size() != 2) return;
    std::string_view bytes = ctx.args[1];
    while (!bytes.empty() && (bytes.back() == ' ' || bytes.back() == '\t')) bytes.remove_suffix(1);
    std::string value =
        text::ToUtf8(bytes, platform::ShiftJisToUtf8, text::Undecodable::kQuestionMark);
    const std::string keyword = text::AsciiLower(ctx.args[0]);
    song::Tags tags = ctx.song->GetTags();
    if (keyword == "#title") {
        tags.title = std::move(value);
    } else if (keyword == "#composer") {
        tags.composer = std::move(value);
    } else if (keyword == "#date") {
        // A date that is none is left out (the warnings pass says why).
        tags.date = song::DateFault(value) ? std::string() : std::move(value);
    } else if (keyword == "#notes") {
        if (!tags.notes.empty()) tags.notes += '\n';
        tags.notes += value;
    }
    ctx.song->SetTags(tags);
}

}  // namespace Tarsel
