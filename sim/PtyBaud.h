#pragma once

#include <QtGlobal>

namespace VarnexSim {

// The rate (bit/s) that the program on the slave side of the pty behind
// `masterFd` last set, read from the kernel's termios2 so that rates without
// a Bxxx constant (14400, 28800) come out exactly. 0 when it cannot be read.
qint32 PeerBaud(int masterFd);

} // namespace VarnexSim
