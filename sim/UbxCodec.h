#pragma once

#include <QByteArray>

#include <deque>

// The receiver's own UBX framing: sync B5 62, class, id, 16-bit little-endian
// length, payload, and the 8-bit Fletcher checksum over class..payload. Kept
// apart from the tool's frame code so that a fault there cannot be mirrored here.
namespace VarnexSim {

inline constexpr quint8 kSync1 = 0xB5;
inline constexpr quint8 kSync2 = 0x62;
// Longest payload the receiver accepts; a longer length field marks a false sync.
inline constexpr int kMaxPayload = 1024;

// CK_A and CK_B over `bytes`, packed as CK_A | CK_B << 8.
quint16 FletcherChecksum(const QByteArray& bytes);
QByteArray EncodeUbx(quint8 cls, quint8 id, const QByteArray& payload);

struct DecodedItem {
    enum class Kind { Frame, Garbage, BadChecksum };
    Kind kind = Kind::Garbage;
    quint8 cls = 0;
    quint8 id = 0;
    QByteArray payload;
    QByteArray raw; // the bytes as received, sync and checksum included
};

// Streaming decoder: bytes go in as they arrive, complete frames come out.
// Bytes outside a frame come out as Garbage; a frame whose checksum fails
// comes out as BadChecksum and only its sync bytes are consumed, so a real
// frame hidden in its span is still found.
class UbxStreamDecoder {
public:
    void Feed(const QByteArray& bytes);
    // Next finished item, in arrival order; false when nothing is complete yet.
    bool Next(DecodedItem& item);
    // Drops a partly received frame (the line was garbled under it).
    QByteArray Reset();

private:
    void Scan();
    QByteArray buffer_;
    std::deque<DecodedItem> ready_;
};

} // namespace VarnexSim
