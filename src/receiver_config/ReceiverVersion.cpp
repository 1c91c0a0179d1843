#include "receiver_config/ReceiverVersion.h"

#include "link/uBloxLowLevelComms.h"

namespace VarnexCommsRoutines {
namespace {

constexpr std::uint8_t kClassMon = 0x0A, kIdMonVer = 0x04;
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

std::optional<ReceiverVersion> PollReceiverVersion()
{
    uBloxLowLevelComms::UbxBuffer request = uBloxLowLevelComms::NewUbxBuffer(kClassMon, kIdMonVer, 0);
    uBloxLowLevelComms::CalcUbxChecksum(request);
    const auto payload = uBloxLowLevelComms::PollWholeReply(request);
    if (!payload)
        return std::nullopt;
    return ParseReceiverVersion(QByteArray(reinterpret_cast<const char*>(payload->data()), qsizetype(payload->size())));
}

} // namespace VarnexCommsRoutines
