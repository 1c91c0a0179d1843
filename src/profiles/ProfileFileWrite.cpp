// A device table written as a profile file, one [[step]] table per step.
#include "profiles/ProfileFile.h"

#include "link/UbxMessages.h"
#include "profiles/ProfileFileKinds.h"
#include "profiles/ProfileFileText.h"
#include "receiver_config/Payloads.h"

#include <toml++/toml.h>

#include <cmath>
#include <cstdio>
#include <sstream>

namespace ProfileFile {
namespace {

using namespace SetupOutputs;

// A string as a TOML literal, escaped by the library.
std::string Quoted(std::string_view text)
{
    std::ostringstream out;
    out << toml::value<std::string>(std::string(text));
    return out.str();
}

std::string Hex(std::uint8_t byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", unsigned{byte});
    return text;
}

std::string HexBytes(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (const std::uint8_t b : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", unsigned{b});
        if (!text.empty())
            text += ' ';
        text += pair;
    }
    return Quoted(text);
}

// One function per kind of step: its keys and values.

void WriteKind(std::ostringstream&, const Reset&) {}
void WriteKind(std::ostringstream&, const Save&) {}

void WriteKind(std::ostringstream& out, const Rate& r)
{
    // Whole milliseconds, as the frame carries them.
    out << "period_ms = " << std::int64_t(std::nearbyint(r.period)) << "\nnavigation_rate = " << r.navRate << '\n';
}

void WriteKind(std::ostringstream& out, const Navigation& n)
{
    const std::vector<std::uint8_t> block = n.block.size() == Payloads::kNavBlockSize
                                                ? std::vector<std::uint8_t>(n.block.begin(), n.block.end())
                                                : BuiltInNavBlock();
    for (const NavKey& k : kNavKeys) {
        const auto value = UbxProtocol::LittleEndianAt(block, k.field->offset, k.field->width);
        out << k.key << " = ";
        if (k.tenths)
            out << value / 10 << '.' << value % 10;
        else
            out << value;
        out << '\n';
    }
    for (const NavBytes& b : kNavBytes)
        out << b.key << " = " << HexBytes(std::span(block).subspan(b.offset, b.size)) << '\n';
}

void WriteKind(std::ostringstream& out, const TimePulse& t)
{
    out << "interval_ms = " << t.interval << "\nlength_ms = " << t.length << '\n';
}

void WriteKind(std::ostringstream& out, const MessageRate& m)
{
    if (const UbxMessages::Message* named = UbxMessages::FindOutput(m.msgClass, m.msgId))
        out << "message = " << Quoted(named->name) << '\n';
    out << "class = " << Hex(m.msgClass) << "\nid = " << Hex(m.msgId) << '\n';
    if (m.rates.size() == std::size_t(Payloads::kReceiverPortCount))
        out << "rates = [" << int{m.rates[0]} << ", " << int{m.rates[1]} << ", " << int{m.rates[2]} << ", "
            << int{m.rates[3]} << "]\n";
    else
        out << "rate = " << int{m.rate} << "\nport = " << m.port << '\n';
}

void WriteKind(std::ostringstream& out, const BaudRate& b)
{
    out << "rate = " << b.rate << "\nport = " << b.port << '\n';
}

} // namespace

std::string Write(const SetupOutputs::Profile& profile)
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
    for (const Step& step : profile.steps) {
        out << "\n[[step]]\nkind = " << Quoted(FileKindOf(step).name) << '\n';
        std::visit([&out](const auto& kind) { WriteKind(out, kind); }, step);
    }
    return out.str();
}

} // namespace ProfileFile
