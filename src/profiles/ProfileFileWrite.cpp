// A device table written as a profile file, one [[step]] table per step.
#include "profiles/ProfileFile.h"

#include "profiles/ProfileFileText.h"
#include "profiles/StepKinds.h"

#include <toml++/toml.h>

#include <cstdio>
#include <sstream>

namespace ProfileFile {
namespace {

// A string as a one-line TOML basic string: backslash, quote and every
// control character escaped, anything else (UTF-8 included) as it is. Not
// the library's writer: it picks a multi-line literal for text with line
// breaks, which text holding ''' itself breaks.
std::string Quoted(std::string_view text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\': quoted += "\\\\"; break;
        case '"': quoted += "\\\""; break;
        case '\b': quoted += "\\b"; break;
        case '\t': quoted += "\\t"; break;
        case '\n': quoted += "\\n"; break;
        case '\f': quoted += "\\f"; break;
        case '\r': quoted += "\\r"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", unsigned(byte));
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + '"';
}

std::string Line(std::string_view key, const std::string& value) { return std::string(key) + " = " + value + '\n'; }

} // namespace

namespace {

std::string WriteWith(const SetupOutputs::Profile& profile, const LoadedProfile* notes)
{
    std::ostringstream out;
    out << "# VarnexConfig device profile: " << ProfileFileText::OneLine(profile.name) << "\n"
        << "# The steps run in order and the run stops at the first that fails. The first\n"
        << "# step resets the receiver to a known state, the last saves the configuration\n"
        << "# to flash. Every key is described in docs/PROFILE_FILES.md.\n\n"
        << "name = " << Quoted(profile.name) << "\n"
        << "nmea_port = " << profile.nmeaPort << "\n"
        << "connect_failure = " << Quoted(profile.connectFailure) << "\n"
        << "success = " << Quoted(profile.success) << "\n";
    if (!profile.generations.empty()) {
        std::string list;
        for (const int g : profile.generations)
            list += (list.empty() ? "" : ", ") + std::to_string(g);
        out << "generations = [" << list << "]\n";
    }
    if (notes && !notes->Untranslated().empty()) {
        out << "# Settings of the device with no counterpart on this generation, left out:\n"
            << "untranslated = [\n";
        for (const std::string& setting : notes->Untranslated())
            out << "    " << Quoted(setting) << ",\n";
        out << "]\n";
    }
    for (std::size_t i = 0; i < profile.steps.size(); ++i) {
        const SetupOutputs::Step& step = profile.steps[i];
        SetupOutputs::StepLines lines(notes ? &notes->ItemNotes() : nullptr);
        SetupOutputs::WriteStep(step, lines);
        if (notes)
            if (const auto note = notes->StepNotes().find(i); note != notes->StepNotes().end())
                out << "\n# " << note->second;
        out << "\n[[step]]\nkind = " << Quoted(SetupOutputs::FileKindOf(step).name) << '\n' << lines.Lines();
        if (!lines.ItemLines().empty())
            out << "[step.items]\n" << lines.ItemLines();
    }
    return out.str();
}

} // namespace

std::string Write(const SetupOutputs::Profile& profile) { return WriteWith(profile, nullptr); }
std::string Write(const LoadedProfile& profile) { return WriteWith(profile.Profile(), &profile); }

} // namespace ProfileFile

namespace SetupOutputs {

void StepLines::Integer(std::string_view key, std::int64_t value) { text_ += ProfileFile::Line(key, std::to_string(value)); }

void StepLines::Tenths(std::string_view key, std::int64_t tenths)
{
    text_ += ProfileFile::Line(key, std::to_string(tenths / 10) + '.' + std::to_string(tenths % 10));
}

void StepLines::Text(std::string_view key, std::string_view text) { text_ += ProfileFile::Line(key, ProfileFile::Quoted(text)); }

void StepLines::Hex(std::string_view key, std::uint8_t byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", unsigned{byte});
    text_ += ProfileFile::Line(key, text);
}

void StepLines::HexBytes(std::string_view key, std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (const std::uint8_t b : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", unsigned{b});
        if (!text.empty())
            text += ' ';
        text += pair;
    }
    text_ += ProfileFile::Line(key, ProfileFile::Quoted(text));
}

std::string StepLines::NoteOf(std::uint32_t id) const
{
    if (!itemNotes_)
        return {};
    const auto it = itemNotes_->find(id);
    return it == itemNotes_->end() ? std::string() : it->second;
}

void StepLines::Comment(std::string_view text) { text_ += "# " + std::string(text) + '\n'; }

void StepLines::Item(std::string_view name, std::int64_t value, std::string_view comment)
{
    items_ += std::string(name) + " = " + std::to_string(value);
    if (!comment.empty())
        items_ += "  # " + std::string(comment);
    items_ += '\n';
}

void StepLines::Integers(std::string_view key, std::span<const std::uint8_t> values)
{
    std::string list;
    for (const std::uint8_t v : values)
        list += (list.empty() ? "" : ", ") + std::to_string(v);
    text_ += ProfileFile::Line(key, '[' + list + ']');
}

} // namespace SetupOutputs
