#include "harness/PtyPair.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>

// TCGETS2 lives in the kernel's termbits header, which clashes with
// <termios.h>; declare just what is needed.
#include <sys/ioctl.h>
namespace {
struct Termios2 {
    unsigned int c_iflag, c_oflag, c_cflag, c_lflag;
    unsigned char c_line;
    unsigned char c_cc[19];
    unsigned int c_ispeed, c_ospeed;
};
const unsigned long kGetTermios2 = _IOR('T', 0x2A, Termios2);
} // namespace

PtyPair::PtyPair()
{
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    // Raw slave: no echo or line editing should touch the bytes under test.
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    Unmap();
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
}

bool PtyPair::MapAs(const QString& folder, int number)
{
    Unmap();
    link_ = QDir(folder).absoluteFilePath(QStringLiteral("com%1").arg(number));
    return QFile::link(slavePath_, link_);
}

void PtyPair::Unmap()
{
    if (!link_.isEmpty())
        QFile::remove(link_);
    link_.clear();
}

void PtyPair::Write(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, bytes.size() - done);
        if (n > 0)
            done += n;
        else
            ::usleep(1000);
    }
}

QByteArray PtyPair::Read(qsizetype count, double seconds)
{
    using clock = std::chrono::steady_clock;
    const auto end = clock::now() + std::chrono::duration<double>(seconds);
    QByteArray out;
    char buffer[4096];
    while (out.size() < count && clock::now() < end) {
        pollfd p{master_, POLLIN, 0};
        ::poll(&p, 1, 10);
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0)
            out.append(buffer, n);
    }
    return out;
}

int PtyPair::ToolBaudRate() const
{
    Termios2 t{};
    if (::ioctl(master_, kGetTermios2, &t) != 0)
        return 0;
    return static_cast<int>(t.c_ospeed);
}

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
