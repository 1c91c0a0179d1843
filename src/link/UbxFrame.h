#pragma once

#include <cstdint>
#include <span>
#include <vector>

// One UBX frame as it is held in memory before it is sent:
//
//   index 0, 1      sync bytes B5 62 (written by the sender)
//   index 2, 3      message class, message id
//   index 4, 5      payload length N, low byte first
//   index 6..N+5    payload
//   index N+6, N+7  checksum CK_A, CK_B
//
// The buffer holds exactly one frame; its size is N + 8.
namespace uBloxLowLevelComms {

using UbxBuffer = std::vector<std::uint8_t>;

// A fresh zero-filled buffer for a payload of `payloadLength` bytes, with
// class, id and the two length bytes filled (sync bytes and checksum left 0).
UbxBuffer NewUbxBuffer(std::uint8_t msgClass, std::uint8_t msgId, std::uint16_t payloadLength);

// Writes the 8-bit Fletcher checksum of indexes 2 .. L-2 (class, id, length
// and payload; L is the last index) into indexes L-1 and L. The end of the
// frame is taken from the buffer's size, never from its length field, so the
// buffer must be sized exactly. Buffers shorter than 4 bytes are left alone.
void CalcUbxChecksum(UbxBuffer& buffer);

// A whole frame in one call: sync bytes, class, id, length, `payload` and checksum.
UbxBuffer MakeFrame(std::uint8_t msgClass, std::uint8_t msgId, std::span<const std::uint8_t> payload = {});

} // namespace uBloxLowLevelComms
