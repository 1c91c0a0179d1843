#include "receiver_config/ReceiverVersion.h"

#include "link/Exchange.h"
#include "receiver_config/Payloads.h"

namespace VarnexCommsRoutines {
namespace {

namespace Msg = UbxMessages;
constexpr const Msg::Field& kSoftware = Msg::FieldNamed(Msg::kVerFields, "swVersion");
constexpr const Msg::Field& kHardware = Msg::FieldNamed(Msg::kVerFields, "hwVersion");
constexpr const Msg::Field& kExtension = Msg::FieldNamed(Msg::kVerFields, "extension");

// A zero-padded text field of MON-VER's row at `at`: everything before the first zero byte.
QString Field(const QByteArray& payload, qsizetype at, const Msg::Field& field)
{
    const QByteArray text = payload.mid(at, field.width);
    const qsizetype end = text.indexOf('\0');
    return QString::fromLatin1(end < 0 ? text : text.left(end)).trimmed();
}

} // namespace

std::optional<ReceiverVersion> ParseReceiverVersion(const QByteArray& payload)
{
    const auto fixed = qsizetype(kExtension.offset);
    if (payload.size() < fixed || (payload.size() - fixed) % kExtension.width != 0)
        return std::nullopt;
    ReceiverVersion v{Field(payload, qsizetype(kSoftware.offset), kSoftware), Field(payload, qsizetype(kHardware.offset), kHardware), {}};
    for (qsizetype at = fixed; at < payload.size(); at += kExtension.width)
        v.extensions << Field(payload, at, kExtension);
    return v;
}

std::optional<ReceiverVersion> PollReceiverVersion(SerialControl& port)
{
    const auto reply = Exchange::Poll(port, Payloads::Poll(UbxMessages::kMonVer));
    if (reply.answer != Exchange::Answer::Reply)
        return std::nullopt;
    return ParseReceiverVersion(reply.payload);
}

} // namespace VarnexCommsRoutines
