#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class SerialControl;

// The receiver's identity: MON-VER, polled with no payload, answers its
// software version (30 characters), hardware version (10) and zero or more
// extension fields (30 each, e.g. the ROM version), all zero-padded text.
namespace VarnexCommsRoutines {

struct ReceiverVersion {
    QString software;   // "7.03 (45969)"
    QString hardware;   // "00040007"
    QStringList extensions;
};

// Reads a MON-VER payload; nothing when it is shorter than the two fixed fields
// or its extensions are not whole.
std::optional<ReceiverVersion> ParseReceiverVersion(const QByteArray& payload);

// Polls MON-VER on the open port at its current rate (Exchange::Poll); nothing
// when the receiver refused it or no whole answer came within the reply time-out.
std::optional<ReceiverVersion> PollReceiverVersion(SerialControl& port);

} // namespace VarnexCommsRoutines
