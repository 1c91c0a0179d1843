// The live NMEA view under a continuous stream at 115200 bit/s while the
// NMEA setup window shows it. Prints the CPU used by the tool's thread and by
// the whole process and, where the stream holds sentences, the delay from a
// sentence's last byte arriving on the line to the view showing it whole, and
// how often a refresh left out the newest whole sentence read before it.
//
//   bench_live_view [seconds] [stream]     (default 30 s, nmea)
//
// stream: nmea    every standard sentence at 20 solutions a second, more
//                 than the line carries (the receiver simulator's model);
//         binary  the model's NAV and RXM frames at 20 solutions a second;
//         mixed   both at once, more than the line carries;
//         lf      the nmea stream with its sentences ending in a line feed
//                 only;
//         nocr    bytes of every value but carriage return, filling the
//                 line, so the view never sees a carriage return.
//
// The model is served from a thread of the bench's own, so every byte's
// arrival on the line is the moment that thread writes it to the terminal.
// The tool's port is the product's QSerialPort device, wrapped only to record
// what it hands over and when.
#include "harness/PtyPair.h"
#include "link/CommsFrm.h"
#include "link/PortNames.h"
#include "link/QtSerialDevice.h"
#include "nmea_setup/ShowNmeaSetup.h"
#include "sim/ReceiverModel.h"
#include "support/Forms.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint32 kBaud = 115200;
constexpr int kLinkPort = 1;
constexpr int kCom = 1;

QElapsedTimer g_clock;
double Now() { return g_clock.nsecsElapsed() / 1e9; }

// A count of the bytes written to the line, reached at a moment.
struct Mark {
    qint64 offset;
    double at;
};

QByteArray g_stream; // what the tool read, touched by the GUI thread only

// A view refresh: when, what the box then showed, and how much of the stream
// the tool had read by then.
struct Refresh {
    double at;
    QString shown;
    qint64 read;
};

// A whole sentence in what the tool read, with the offset just past its line end.
struct Sentence {
    QString text;
    qint64 end;
};

// The whole sentences with a good checksum in the stream from `from`: the
// text from the last '$' before a line end (CR LF or LF) to that line end.
std::vector<Sentence> FindSentences(const QByteArray& stream, qint64 from)
{
    static const QRegularExpression shape(QStringLiteral("^\\$[A-Z]{5},[ -~]*\\*([0-9A-F]{2})$"));
    std::vector<Sentence> found;
    qint64 lineStart = from;
    for (qint64 i = from; i < stream.size(); ++i) {
        if (stream[i] != '\n')
            continue;
        QByteArray line = stream.mid(lineStart, i - lineStart);
        lineStart = i + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        line = line.mid(std::max<qsizetype>(0, line.lastIndexOf('$')));
        const auto match = shape.match(QString::fromLatin1(line));
        if (!match.hasMatch())
            continue;
        quint8 sum = 0;
        for (const char c : line.mid(1, line.size() - 4))
            sum ^= static_cast<quint8>(c);
        if (match.captured(1).toUInt(nullptr, 16) == sum)
            found.push_back({QString::fromLatin1(line), i + 1});
    }
    return found;
}

class RecordingDevice final : public SerialDevice {
public:
    bool Open(const QString& path, qint32 baud, QString& error) override { return port_.Open(path, baud, error); }
    void Close() override { port_.Close(); }
    bool IsOpen() const override { return port_.IsOpen(); }
    bool SetBaudRate(qint32 baud) override { return port_.SetBaudRate(baud); }
    void Write(const QByteArray& bytes) override { port_.Write(bytes); }
    QByteArray ReadAll() override
    {
        QByteArray bytes = port_.ReadAll();
        g_stream += bytes;
        return bytes;
    }
    void WaitForInput(double seconds) override { port_.WaitForInput(seconds); }
    bool IsGone() const override { return port_.IsGone(); }

private:
    QtSerialDevice port_;
};

// The simulator's model behind the master side of a pty mapped as comN.
class Line {
public:
    bool Start(const QString& folder)
    {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            return false;
        termios raw{};
        ::tcgetattr(slave_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave_, TCSANOW, &raw);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        // The slave stays held here, so the master never reports a hang-up
        // while the tool has the port closed.
        link_ = QDir(folder).absoluteFilePath(QStringLiteral("com%1").arg(kCom));
        if (!QFile::link(QString::fromLocal8Bit(name), link_))
            return false;
        VarnexSim::ModelOptions options;
        options.linkPort = kLinkPort;
        options.startBaud = kBaud;
        model_ = std::make_unique<VarnexSim::ReceiverModel>(options, Now());
        VarnexSim::ReceiverConfig quiet = model_->Running();
        quiet.msgRates.clear();
        model_->SetRunning(quiet);
        thread_ = std::thread([this] { Serve(); });
        return true;
    }
    ~Line()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        QFile::remove(link_);
        if (master_ >= 0)
            ::close(master_);
        if (slave_ >= 0)
            ::close(slave_);
    }
    // Starts the stream chosen (see the top of this file).
    void StartStream(const QString& kind)
    {
        nmea_ = kind == QStringLiteral("nmea") || kind == QStringLiteral("mixed");
        binary_ = kind == QStringLiteral("binary") || kind == QStringLiteral("mixed");
        noCr_ = kind == QStringLiteral("nocr");
        lfOnly_ = kind == QStringLiteral("lf");
        nmea_ = nmea_ || lfOnly_;
        stream_ = true;
    }
    // Stops serving and hands over the write marks.
    std::vector<Mark> Stop()
    {
        stop_ = true;
        thread_.join();
        return writes_;
    }

private:
    void Serve()
    {
        char buffer[4096];
        bool streaming = false;
        double streamStart = 0;
        qint64 noCrSent = 0;
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            ::poll(&p, 1, 1);
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0)
                model_->PcWrite(QByteArray(buffer, n), kBaud, Now());
            if (stream_ && !streaming) {
                streaming = true;
                streamStart = Now();
                VarnexSim::ReceiverConfig config = model_->Running();
                config.measRateMs = 50;
                config.navRate = 1;
                if (nmea_)
                    for (quint8 id = 0; id <= 8; ++id)
                        config.SetRate(VarnexSim::Key(0xF0, id), kLinkPort, 1);
                if (binary_)
                    for (const auto& [msgClass, msgId] : {std::pair{0x01, 0x02}, {0x01, 0x12}, {0x01, 0x21}, {0x02, 0x10}, {0x02, 0x11}})
                        config.SetRate(VarnexSim::Key(quint8(msgClass), quint8(msgId)), kLinkPort, 1);
                model_->SetRunning(config);
            }
            QByteArray out = model_->TakeOutput(kBaud, Now());
            if (lfOnly_)
                out.replace('\r', QByteArray());
            if (noCr_ && streaming) {
                // As many bytes as the line has carried since the start (10
                // bits a byte), cycling through every value but CR.
                const auto due = static_cast<qint64>((Now() - streamStart) * kBaud / 10);
                for (; noCrSent < due; ++noCrSent)
                    out.append(static_cast<char>(noCrSent % 255 < 13 ? noCrSent % 255 : noCrSent % 255 + 1));
            }
            if (!out.isEmpty()) {
                // Once the tool stops reading, the terminal fills: stop_ ends the wait.
                for (qsizetype done = 0; done < out.size() && !stop_;) {
                    const ssize_t w = ::write(master_, out.constData() + done, out.size() - done);
                    if (w > 0)
                        done += w;
                    else
                        ::usleep(100);
                }
                written_ += out.size();
                writes_.push_back({written_, Now()});
            }
        }
    }

    int master_ = -1;
    int slave_ = -1;
    QString link_;
    std::unique_ptr<VarnexSim::ReceiverModel> model_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> stream_{false};
    bool nmea_ = false;
    bool binary_ = false;
    bool noCr_ = false;
    bool lfOnly_ = false;
    qint64 written_ = 0;
    std::vector<Mark> writes_;
};

double CpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(1.0, QString::fromLocal8Bit(argv[1]).toDouble()) : 30.0;
    const QString stream = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("nmea");
    if (!QStringList{"nmea", "binary", "mixed", "lf", "nocr"}.contains(stream)) {
        std::fprintf(stderr, "stream: nmea, binary, mixed, lf or nocr\n");
        return 2;
    }
    g_clock.start();

    TempPortsFolder folder;
    Line line;
    if (!line.Start(folder.Path())) {
        std::fprintf(stderr, "cannot create the pseudo-terminal\n");
        return 1;
    }
    SerialControl::SetDeviceFactory([] { return std::make_unique<RecordingDevice>(); });
    SerialControl& port = CommsFrm::SerialPort();
    port.SetCommPort(kCom);
    port.SetSettings(QStringLiteral("115200,N,8,1"));
    if (!port.SetPortOpen(true)) {
        std::fprintf(stderr, "port: %s\n", qPrintable(port.LastError()));
        return 1;
    }
    // Quiet while the window polls its nine rates; then the stream starts.
    NmeaSetup::ShowNmeaSetup(kLinkPort);
    QWidget* window = Forms::Find(QStringLiteral("SetupScreenfrm"));
    auto* view = window ? window->findChild<QPlainTextEdit*>(QStringLiteral("Text1")) : nullptr;
    if (!view) {
        std::fprintf(stderr, "the NMEA setup window did not open\n");
        return 1;
    }
    std::vector<Refresh> refreshes;
    refreshes.reserve(static_cast<std::size_t>(seconds * 20) + 16);
    QObject::connect(view, &QPlainTextEdit::textChanged,
                     [&] { refreshes.push_back({Now(), view->toPlainText(), g_stream.size()}); });

    const qint64 startOffset = g_stream.size();
    line.StartStream(stream);
    const double toolCpu0 = CpuSeconds(RUSAGE_THREAD);
    const double processCpu0 = CpuSeconds(RUSAGE_SELF);
    const double start = Now();
    // A loop of its own: quitting the application would close the window.
    QEventLoop run;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &run, &QEventLoop::quit);
    run.exec();
    const double end = Now();
    const double toolCpu = CpuSeconds(RUSAGE_THREAD) - toolCpu0;
    const double processCpu = CpuSeconds(RUSAGE_SELF) - processCpu0;
    const std::vector<Mark> writes = line.Stop();

    // Each sentence: shown by the first refresh after the tool read its
    // line end, or already gone from the view, pushed out by newer text
    // read in the same tick.
    const std::vector<Sentence> sentences = FindSentences(g_stream, startOffset);
    std::vector<double> delays;
    auto write = writes.begin();
    auto refresh = refreshes.begin();
    for (const Sentence& sentence : sentences) {
        while (write != writes.end() && write->offset < sentence.end)
            ++write;
        while (refresh != refreshes.end() && refresh->read < sentence.end)
            ++refresh;
        if (write == writes.end() || refresh == refreshes.end())
            break;
        if (refresh->shown.contains(sentence.text))
            delays.push_back(refresh->at - write->at);
    }
    // Each refresh must show the newest whole sentence read before it.
    std::size_t missing = 0;
    std::size_t checked = 0;
    std::size_t readBefore = 0; // sentences whose line end was read before the refresh
    for (const Refresh& r : refreshes) {
        while (readBefore < sentences.size() && sentences[readBefore].end <= r.read)
            ++readBefore;
        if (readBefore == 0)
            continue;
        ++checked;
        missing += !r.shown.contains(sentences[readBefore - 1].text);
    }

    const double wall = end - start;
    const qint64 bytes = g_stream.size() - startOffset;
    std::printf("live view, %s stream, %.1f s at 115200 bit/s on a pty\n", qPrintable(stream), wall);
    std::printf("  received             %lld bytes (%.0f bit/s), %zu whole sentences, %zu view updates\n",
                static_cast<long long>(bytes), bytes * 10.0 / wall, sentences.size(), refreshes.size());
    std::printf("  CPU, tool thread     %.2f s = %.2f %% of a core\n", toolCpu, 100.0 * toolCpu / wall);
    std::printf("  CPU, whole process   %.2f s = %.2f %% of a core (the simulator's thread included)\n",
                processCpu, 100.0 * processCpu / wall);
    if (!sentences.empty()) {
        std::printf("  arrival-to-view delay over the %zu of %zu sentences shown by the first refresh after them: "
                    "median %.1f ms, p90 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                    delays.size(), sentences.size(), 1000 * Percentile(delays, 0.5), 1000 * Percentile(delays, 0.9),
                    1000 * Percentile(delays, 0.99), 1000 * Percentile(delays, 1.0));
        std::printf("  refreshes without the newest whole sentence read: %zu of %zu\n", missing, checked);
    }

    Forms::Unload(window);
    CommsFrm::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SerialControl::SetDeviceFactory({});
    return 0;
}
