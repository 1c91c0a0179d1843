#include "PtyReceiverSim.h"

#include "PtyBaud.h"
#include "PtyLine.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace VarnexSim {
namespace {

// Longest sleep of the thread: how soon it notices an unplug time or a stop.
constexpr int kMaxPollMs = 20;
constexpr int kReadChunk = 4096;

QString ErrnoText(const char* what)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Reads everything the PC wrote from a master in packet mode: each read gives
// a status byte, followed by data only when that byte is TIOCPKT_DATA.
QByteArray ReadPackets(int masterFd)
{
    QByteArray input;
    char buf[kReadChunk];
    ssize_t n = 0;
    while ((n = read(masterFd, buf, sizeof buf)) > 0) {
        if (buf[0] == TIOCPKT_DATA)
            input.append(buf + 1, n - 1);
    }
    return input;
}

} // namespace

PtyReceiverSim::PtyReceiverSim(const Options& options)
    : options_(options),
      flashPath_(options.model.flashPath)
{
    model_ = std::make_unique<ReceiverModel>(options.model, Now());
}

PtyReceiverSim::~PtyReceiverSim() { Stop(); }

double PtyReceiverSim::Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

QString PtyReceiverSim::DevicePath() const
{
    return QDir(options_.portsDir).absoluteFilePath(QStringLiteral("com%1").arg(options_.com));
}

QString PtyReceiverSim::PtyLink() const
{
    return options_.stableName.isEmpty() ? DevicePath() : QFileInfo(options_.stableName).absoluteFilePath();
}

QString PtyReceiverSim::SlavePath() const
{
    std::lock_guard<std::mutex> lock(pathMutex_);
    return slavePath_;
}

bool PtyReceiverSim::Start(QString& error)
{
    if (Running())
        return true;
    if (!QDir().mkpath(options_.portsDir)) {
        error = QStringLiteral("cannot create ports folder %1").arg(options_.portsDir);
        return false;
    }
    if (pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = ErrnoText("pipe");
        return false;
    }
    if (!OpenPty(error) || !MapLink(error)
        || (!options_.stableName.isEmpty() && !VarnexSim::MapLink(DevicePath(), PtyLink(), error))) {
        Stop();
        return false;
    }
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void PtyReceiverSim::Stop()
{
    stop_ = true;
    if (thread_.joinable()) {
        const char wake = 1;
        [[maybe_unused]] const auto n = write(wakePipe_[1], &wake, 1);
        thread_.join();
    }
    ClosePty();
    for (const QString& path : {PtyLink(), DevicePath()})
        if (QFileInfo(path).isSymLink())
            QFile::remove(path);
    for (int& fd : wakePipe_) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
}

bool PtyReceiverSim::OpenPty(QString& error)
{
    PtyEnds pty;
    if (!VarnexSim::OpenPty(pty, error))
        return false;
    master_ = pty.master;
    ownSlave_ = pty.slave;
    // Packet mode: with EXTPROC on the slave, each change of its settings
    // wakes this side, so the thread sees the tool open the port at a rate.
    int packetMode = 1;
    ioctl(master_, TIOCPKT, &packetMode);
    std::lock_guard<std::mutex> lock(pathMutex_);
    slavePath_ = pty.slavePath;
    return true;
}

void PtyReceiverSim::ClosePty()
{
    PtyEnds pty{master_, ownSlave_, {}};
    VarnexSim::ClosePty(pty);
    master_ = ownSlave_ = -1;
    std::lock_guard<std::mutex> lock(pathMutex_);
    slavePath_.clear();
}

bool PtyReceiverSim::MapLink(QString& error) { return VarnexSim::MapLink(PtyLink(), SlavePath(), error); }

std::vector<TranscriptEntry> PtyReceiverSim::Transcript() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return model_->GetTranscript().Entries();
}

QStringList PtyReceiverSim::FramesFromPc() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return model_->GetTranscript().FramesFromPc();
}

Faults PtyReceiverSim::GetFaults() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return model_->GetFaults();
}

void PtyReceiverSim::SetFaults(const Faults& faults)
{
    std::lock_guard<std::mutex> lock(mutex_);
    model_->SetFaults(faults);
}

void PtyReceiverSim::Unplug()
{
    WithModel([](ReceiverModel& m) { m.Unplug(); });
}

void PtyReceiverSim::Replug()
{
    WithModel([](ReceiverModel& m) { m.Replug(); });
}

void PtyReceiverSim::Run()
{
    while (!stop_) {
        const double now = Now();
        FollowPlug(now);
        if (master_ < 0) {
            pollfd wake{wakePipe_[0], POLLIN, 0};
            poll(&wake, 1, kMaxPollMs);
            continue;
        }
        Serve();
    }
}

// Tears the pty down while the model says the link is gone, builds a fresh one when it is back.
void PtyReceiverSim::FollowPlug(double now)
{
    bool gone = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        gone = model_->LinkGone(now);
    }
    if (gone && master_ >= 0) {
        ClosePty();
        if (QFileInfo(PtyLink()).isSymLink())
            QFile::remove(PtyLink());
    } else if (!gone && master_ < 0) {
        QString error;
        if (!OpenPty(error) || !MapLink(error))
            ClosePty();
    }
}

// One pass: sleep until the PC writes or the next byte is due, take in what the
// PC wrote at the rate it talks at right now, and hand over what has left the line.
void PtyReceiverSim::Serve()
{
    double next = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        next = model_->NextOutputTime();
    }
    const double wait = (next - Now()) * 1000.0;
    const int timeout = std::isfinite(wait) ? std::clamp(int(std::ceil(wait)), 1, kMaxPollMs) : kMaxPollMs;
    pollfd fds[2] = {{master_, POLLIN | POLLPRI, 0}, {wakePipe_[0], POLLIN, 0}};
    poll(fds, 2, timeout);
    // The rate is sampled before the bytes are read. The tool closes the port
    // right after its last bytes have left the line (its settings go back to
    // rate 0 then), so bytes found with the port closed were written at the
    // rate of the session just ended, if this thread saw that session at all.
    const qint32 pcBaud = PeerBaud(master_);
    if (pcBaud > 0)
        sessionBaud_ = pcBaud;
    const double now = Now();
    const QByteArray input = (fds[0].revents & (POLLIN | POLLPRI)) ? ReadPackets(master_) : QByteArray();
    QByteArray output;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!input.isEmpty())
            model_->PcWrite(input, sessionBaud_, now);
        output = model_->TakeOutput(pcBaud, now);
    }
    if (pcBaud == 0)
        sessionBaud_ = 0; // later bytes belong to a session still to be seen
    // A PC that does not read fills the pty; what does not fit is lost, as on a real line.
    if (!output.isEmpty())
        [[maybe_unused]] const auto written = write(master_, output.constData(), size_t(output.size()));
}

} // namespace VarnexSim
