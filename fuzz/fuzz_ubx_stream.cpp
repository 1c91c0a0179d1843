// The whole-frame reader over arbitrary receiver output, fed in pieces of
// varying size: it must never crash, and every frame it returns must stand in
// the input whole, with a good checksum and a payload within the limit.
#include "link/UbxStream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

QByteArray FrameBytes(const UbxStream::Frame& f)
{
    QByteArray bytes;
    bytes.append(char(0xB5)).append(char(0x62)).append(char(f.msgClass)).append(char(f.msgId));
    bytes.append(char(f.payload.size() & 0xFF)).append(char(f.payload.size() >> 8));
    bytes.append(f.payload);
    std::uint8_t a = 0, b = 0;
    for (qsizetype i = 2; i < bytes.size(); ++i) {
        a = std::uint8_t(a + std::uint8_t(bytes[i]));
        b = std::uint8_t(b + a);
    }
    return bytes.append(char(a)).append(char(b));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const qsizetype piece = 1 + data[0] % 64;
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    UbxStream::Reader reader;
    UbxStream::Frame frame;
    for (qsizetype at = 0; at < input.size(); at += piece) {
        reader.Append(input.mid(at, piece));
        while (reader.Next(frame)) {
            Require(frame.payload.size() <= UbxStream::kMaxPayload);
            Require(input.contains(FrameBytes(frame)));
        }
    }
    (void)UbxStream::HoldsNmeaSentence(input);
    return 0;
}
