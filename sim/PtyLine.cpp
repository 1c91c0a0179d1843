#include "PtyLine.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace VarnexSim {
namespace {

QString ErrnoText(const char* what)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Raw mode at rate 0 while no one else holds the port: the tool (QSerialPort)
// saves these settings when it opens and puts them back when it closes, so
// between two openings nothing echoes and rate 0 says "closed".
void MakeSlaveIdle(int slaveFd)
{
    termios tio {};
    if (tcgetattr(slaveFd, &tio) != 0)
        return;
    cfmakeraw(&tio);
    tio.c_lflag |= EXTPROC;
    cfsetispeed(&tio, B0);
    cfsetospeed(&tio, B0);
    tcsetattr(slaveFd, TCSANOW, &tio);
}

} // namespace

bool OpenPty(PtyEnds& pty, QString& error)
{
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (pty.master < 0) {
        error = ErrnoText("posix_openpt");
        return false;
    }
    char name[128] = {};
    if (grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 || ptsname_r(pty.master, name, sizeof name) != 0) {
        error = ErrnoText("pty setup");
        ClosePty(pty);
        return false;
    }
    pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0) {
        error = ErrnoText("open pty slave");
        ClosePty(pty);
        return false;
    }
    MakeSlaveIdle(pty.slave);
    pty.slavePath = QString::fromLocal8Bit(name);
    return true;
}

void ClosePty(PtyEnds& pty)
{
    for (int* fd : {&pty.slave, &pty.master}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    pty.slavePath.clear();
}

bool MapLink(const QString& link, const QString& target, QString& error)
{
    const QFileInfo info(link);
    if (info.exists() && !info.isSymLink()) {
        error = QStringLiteral("%1 exists and is not a link").arg(link);
        return false;
    }
    if (info.isSymLink())
        QFile::remove(link);
    if (symlink(target.toLocal8Bit().constData(), link.toLocal8Bit().constData()) != 0) {
        error = ErrnoText("symlink");
        return false;
    }
    return true;
}

} // namespace VarnexSim
