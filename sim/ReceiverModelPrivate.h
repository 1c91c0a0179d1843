#pragma once

#include "ReceiverModel.h"

namespace VarnexSim {

// What the receiver does about one decoded frame.
struct ReceiverModel::Answer {
    enum class Kind { None, Ack, Nak, Reply };
    Kind kind = Kind::None;
    QByteArray reply;       // the whole reply frame for Kind::Reply
    qint32 linkMovesTo = 0; // non-zero when the command moved the link's rate
    QString note;           // for the transcript when nothing is sent
    bool ackAfterReply = false; // an ACK-ACK follows the reply (a VALGET that succeeded)
};

// True for the frames that ask for a reply rather than change a setting.
bool IsPoll(quint8 cls, quint8 id, int length);

} // namespace VarnexSim
