#include "harness/PtyPair.h"

#include "sim/PtyBaud.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <poll.h>
#include <unistd.h>

#include <chrono>

PtyPair::PtyPair()
{
    QString error;
    VarnexSim::OpenPty(pty_, error);
}

PtyPair::~PtyPair()
{
    Unmap();
    VarnexSim::ClosePty(pty_);
}

bool PtyPair::MapAs(const QString& folder, int number)
{
    Unmap();
    link_ = QDir(folder).absoluteFilePath(QStringLiteral("com%1").arg(number));
    QString error;
    return VarnexSim::MapLink(link_, pty_.slavePath, error);
}

void PtyPair::Unmap()
{
    if (!link_.isEmpty())
        QFile::remove(link_);
    link_.clear();
}

void PtyPair::Write(const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(pty_.master, bytes.constData() + done, bytes.size() - done);
        if (n > 0)
            done += n;
        else
            QThread::msleep(1);
    }
}

QByteArray PtyPair::Read(qsizetype count, double seconds)
{
    using clock = std::chrono::steady_clock;
    const auto end = clock::now() + std::chrono::duration<double>(seconds);
    QByteArray out;
    char buffer[4096];
    while (out.size() < count && clock::now() < end) {
        pollfd p{pty_.master, POLLIN, 0};
        ::poll(&p, 1, 10);
        const ssize_t n = ::read(pty_.master, buffer, sizeof buffer);
        if (n > 0)
            out.append(buffer, n);
    }
    return out;
}

int PtyPair::ToolBaudRate() const { return VarnexSim::PeerBaud(pty_.master); }

TempPortsFolder::TempPortsFolder()
{
    hadPrevious_ = qEnvironmentVariableIsSet("VARNEXCONFIG_PORTS");
    previous_ = qgetenv("VARNEXCONFIG_PORTS");
    qputenv("VARNEXCONFIG_PORTS", dir_.path().toLocal8Bit());
}

TempPortsFolder::~TempPortsFolder()
{
    if (hadPrevious_)
        qputenv("VARNEXCONFIG_PORTS", previous_);
    else
        qunsetenv("VARNEXCONFIG_PORTS");
}
