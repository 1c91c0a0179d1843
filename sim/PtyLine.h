#pragma once

#include <QString>

// The pseudo-terminal plumbing shared by the simulator's transport and the
// tests' bare line: a pty whose slave side stays held, and a comN link to it.
namespace VarnexSim {

struct PtyEnds {
    int master = -1;   // non-blocking
    int slave = -1;    // held by us, so the master never reports a hang-up
    QString slavePath;
};

// Opens a pty with its slave side raw at rate 0 until a program opens it.
// EXTPROC makes the kernel report each change of the slave's settings to a
// master in packet mode. False with `error` filled on failure.
bool OpenPty(PtyEnds& pty, QString& error);
void ClosePty(PtyEnds& pty);
// Points `link` at `target`, replacing an earlier link but never a real file.
bool MapLink(const QString& link, const QString& target, QString& error);

} // namespace VarnexSim
