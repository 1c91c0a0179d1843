#include "UbxCodec.h"

namespace VarnexSim {

quint16 FletcherChecksum(const QByteArray& bytes)
{
    quint8 a = 0;
    quint8 b = 0;
    for (char c : bytes) {
        a = quint8(a + quint8(c));
        b = quint8(b + a);
    }
    return quint16(a | (b << 8));
}

QByteArray EncodeUbx(quint8 cls, quint8 id, const QByteArray& payload)
{
    QByteArray body;
    body.append(char(cls));
    body.append(char(id));
    body.append(char(payload.size() & 0xFF));
    body.append(char((payload.size() >> 8) & 0xFF));
    body.append(payload);
    const quint16 ck = FletcherChecksum(body);
    QByteArray frame;
    frame.append(char(kSync1));
    frame.append(char(kSync2));
    frame.append(body);
    frame.append(char(ck & 0xFF));
    frame.append(char(ck >> 8));
    return frame;
}

void UbxStreamDecoder::Feed(const QByteArray& bytes)
{
    buffer_.append(bytes);
    Scan();
}

bool UbxStreamDecoder::Next(DecodedItem& item)
{
    if (ready_.empty())
        return false;
    item = std::move(ready_.front());
    ready_.pop_front();
    return true;
}

QByteArray UbxStreamDecoder::Reset()
{
    QByteArray partial = buffer_;
    buffer_.clear();
    return partial;
}

namespace {

// Offset of the next B5 62 pair, or of a lone B5 at the very end (it may be
// the start of a frame whose second sync byte is still on the way).
qsizetype FindSync(const QByteArray& buf)
{
    for (qsizetype i = 0; i < buf.size(); ++i) {
        if (quint8(buf[i]) != kSync1)
            continue;
        if (i + 1 == buf.size() || quint8(buf[i + 1]) == kSync2)
            return i;
    }
    return buf.size();
}

void EmitGarbage(std::deque<DecodedItem>& out, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    if (!out.empty() && out.back().kind == DecodedItem::Kind::Garbage) {
        out.back().raw.append(bytes);
        return;
    }
    DecodedItem g;
    g.kind = DecodedItem::Kind::Garbage;
    g.raw = bytes;
    out.push_back(g);
}

} // namespace

void UbxStreamDecoder::Scan()
{
    for (;;) {
        const qsizetype sync = FindSync(buffer_);
        EmitGarbage(ready_, buffer_.left(sync));
        buffer_.remove(0, sync);
        if (buffer_.size() < 6)
            return;
        const int len = quint8(buffer_[4]) | (quint8(buffer_[5]) << 8);
        if (len > kMaxPayload) {
            EmitGarbage(ready_, buffer_.left(1));
            buffer_.remove(0, 1);
            continue;
        }
        if (buffer_.size() < len + 8)
            return;
        const quint16 ck = FletcherChecksum(buffer_.mid(2, len + 4));
        const bool good = quint8(buffer_[len + 6]) == (ck & 0xFF) && quint8(buffer_[len + 7]) == (ck >> 8);
        DecodedItem item;
        item.cls = quint8(buffer_[2]);
        item.id = quint8(buffer_[3]);
        if (good) {
            item.kind = DecodedItem::Kind::Frame;
            item.payload = buffer_.mid(6, len);
            item.raw = buffer_.left(len + 8);
            buffer_.remove(0, len + 8);
        } else {
            item.kind = DecodedItem::Kind::BadChecksum;
            item.raw = buffer_.left(len + 8);
            buffer_.remove(0, 2);
        }
        ready_.push_back(item);
    }
}

} // namespace VarnexSim
