#include "receiver_config/Generation.h"

#include "link/UbxProtocol.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <iterator>

namespace VarnexCommsRoutines {
namespace {

struct Hardware {
    const char* version; // MON-VER's hardware field
    int generation;
};
constexpr Hardware kHardware[] = {
    {"00040001", 4}, {"00040005", 5}, {"00040007", 6}, {"00070000", 7},
    {"00080000", 8}, {"00190000", 9}, {"000A0000", 10}, {"000B0000", 20},
};

// Older firmware sends no PROTVER: its protocol follows from the start of
// its software version ("7.03 (45969)" is protocol 13.03).
struct Firmware {
    const char* start;
    int protocol;
};
constexpr Firmware kFirmware[] = {
    {"2.10", 810}, {"2.11", 811}, {"3.04", 900},  {"4.00", 1000}, {"4.01", 1001}, {"5.00", 1100},
    {"6.00", 1200}, {"6.02", 1202}, {"7.01", 1301}, {"7.03", 1303}, {"1.00", 1400},
};

// "PROTVER=18.00" from protocol 18 on, "PROTVER 15.00" before: the one
// separator is skipped, whatever it is.
std::optional<int> ProtocolOf(const QStringList& extensions)
{
    static const QRegularExpression kProtver(QStringLiteral("^PROTVER.(\\d{1,3})\\.(\\d{2})"));
    for (const QString& e : extensions)
        if (const auto m = kProtver.match(e); m.hasMatch())
            return m.captured(1).toInt() * 100 + m.captured(2).toInt();
    return std::nullopt;
}

using enum Support;
constexpr Support T = Takes, R = Refuses, U = Unsure;

// One row a form, one column a generation: ANTARIS 4, u-blox 5 to 10. The
// X20 is taken as u-blox 10, and a generation not known as unsure.
struct Row {
    Form form;
    const char* name;
    std::array<Support, 7> support;
};
constexpr int kFirstGeneration = 4, kLastGeneration = 10, kX20 = 20;
constexpr Row kRows[] = {
    {Form::CfgPrt, "CFG-PRT", {T, T, T, T, T, T, R}},
    {Form::CfgMsgFourTargets, "CFG-MSG (four-target form)", {T, U, U, U, U, R, R}},
    {Form::CfgMsgPorts, "CFG-MSG", {U, T, T, T, T, T, R}},
    {Form::CfgRate, "CFG-RATE", {T, T, T, T, T, T, R}},
    {Form::CfgCfg, "CFG-CFG", {T, T, T, T, T, T, T}},
    {Form::CfgTp, "CFG-TP", {T, T, T, R, R, R, R}},
    {Form::CfgTp5, "CFG-TP5", {U, U, T, T, T, T, R}},
    {Form::CfgNav5, "CFG-NAV5", {U, U, T, T, T, T, R}},
    {Form::CfgNavBlock, "CFG-NAV (0x06 0x03)", {T, U, U, U, U, R, R}},
    {Form::KeyValue, "CFG-VALSET", {R, R, R, R, R, T, T}},
};

const Row& RowOf(Form form)
{
    return *std::find_if(std::begin(kRows), std::end(kRows), [form](const Row& r) { return r.form == form; });
}

} // namespace

ReceiverKind KindOf(const ReceiverVersion& version)
{
    ReceiverKind kind;
    for (const Hardware& h : kHardware)
        if (version.hardware.compare(QLatin1String(h.version), Qt::CaseInsensitive) == 0)
            kind.generation = h.generation;
    kind.protocol = ProtocolOf(version.extensions);
    if (!kind.protocol)
        for (const Firmware& f : kFirmware)
            if (version.software.startsWith(QLatin1String(f.start))) {
                kind.protocol = f.protocol;
                kind.protocolFromFirmware = true;
            }
    return kind;
}

QString GenerationName(int generation)
{
    if (generation == 4)
        return QStringLiteral("ANTARIS 4");
    if (generation == kX20)
        return QStringLiteral("u-blox X20");
    if (generation >= 5 && generation <= kLastGeneration)
        return QStringLiteral("u-blox %1").arg(generation);
    return QStringLiteral("an unknown generation");
}

QString ProtocolText(const ReceiverKind& kind)
{
    if (!kind.protocol)
        return {};
    return QStringLiteral("%1.%2").arg(*kind.protocol / 100).arg(*kind.protocol % 100, 2, 10, QLatin1Char('0'));
}

QString Describe(const ReceiverKind& kind, const ReceiverVersion& version)
{
    QStringList parts;
    if (!version.software.isEmpty())
        parts << version.software;
    if (kind.protocol)
        parts << QStringLiteral("protocol %1").arg(ProtocolText(kind));
    const QString name = kind.generation ? GenerationName(kind.generation)
                                         : QStringLiteral("hardware %1").arg(version.hardware);
    return parts.isEmpty() ? name : name + QStringLiteral(" (%1)").arg(parts.join(QStringLiteral(", ")));
}

Support SupportOf(Form form, int generation)
{
    if (generation == kX20)
        generation = kLastGeneration;
    if (generation < kFirstGeneration || generation > kLastGeneration)
        return Unsure;
    return RowOf(form).support[std::size_t(generation - kFirstGeneration)];
}

const char* FormName(Form form) { return RowOf(form).name; }

std::optional<Form> FormOf(std::span<const std::uint8_t> frame)
{
    using namespace UbxProtocol;
    if (frame.size() < kPayloadStart || frame[kClassIndex] != kClassCfg)
        return std::nullopt;
    const std::size_t length = frame[kPayloadStart - 2] | std::size_t(frame[kPayloadStart - 1]) << 8;
    switch (frame[kIdIndex]) {
    case kIdCfgPrt: return Form::CfgPrt;
    case kIdCfgMsg: return length == 8 || length == 3 || length == 2 ? Form::CfgMsgPorts : Form::CfgMsgFourTargets;
    case kIdCfgRate: return Form::CfgRate;
    case kIdCfgCfg: return Form::CfgCfg;
    case kIdCfgTp: return Form::CfgTp;
    case kIdCfgNav: return Form::CfgNavBlock;
    case kIdCfgTp5: return Form::CfgTp5;
    case kIdCfgNav5: return Form::CfgNav5;
    case kIdCfgValset:
    case kIdCfgValget:
    case kIdCfgValdel: return Form::KeyValue;
    default: return std::nullopt;
    }
}

} // namespace VarnexCommsRoutines
