#include "receiver_config/ReceiverVersion.h"

#include "link/Exchange.h"
#include "link/UbxProtocol.h"
#include "support/Timing.h"

namespace VarnexCommsRoutines {
namespace {

constexpr qsizetype kSoftwareBytes = 30, kHardwareBytes = 10, kExtensionBytes = 30;

// A zero-padded text field: everything before the first zero byte.
QString Field(const QByteArray& payload, qsizetype at, qsizetype size)
{
    const QByteArray field = payload.mid(at, size);
    const qsizetype end = field.indexOf('\0');
    return QString::fromLatin1(end < 0 ? field : field.left(end)).trimmed();
}

} // namespace

std::optional<ReceiverVersion> ParseReceiverVersion(const QByteArray& payload)
{
    const qsizetype fixed = kSoftwareBytes + kHardwareBytes;
    if (payload.size() < fixed || (payload.size() - fixed) % kExtensionBytes != 0)
        return std::nullopt;
    ReceiverVersion v{Field(payload, 0, kSoftwareBytes), Field(payload, kSoftwareBytes, kHardwareBytes), {}};
    for (qsizetype at = fixed; at < payload.size(); at += kExtensionBytes)
        v.extensions << Field(payload, at, kExtensionBytes);
    return v;
}

std::optional<ReceiverVersion> PollReceiverVersion(SerialControl& port)
{
    using namespace UbxProtocol;
    const auto reply = Exchange::Poll(port, uBloxLowLevelComms::MakeFrame(kClassMon, kIdMonVer),
                                      {Timing::InSeconds(Timing::kReplyTimeout), {}});
    if (reply.answer != Exchange::Answer::Reply)
        return std::nullopt;
    return ParseReceiverVersion(reply.payload);
}

} // namespace VarnexCommsRoutines
