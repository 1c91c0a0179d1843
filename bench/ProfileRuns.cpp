// The device benchmarks' shared runs (ProfileRuns.h).
#include "ProfileRuns.h"

#include "BenchUtil.h"
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "link/CommsFrm.h"
#include "link/QtSerialDevice.h"
#include "link/SelectedPort.h"

#include <QThread>

#include <algorithm>
#include <cstdio>

namespace ProfileBench {

using namespace BenchUtil;

bool gPoweredUp = false;
bool gDropAnswers = false;
VarnexSim::Faults gUnitFaults;

// With --powered-up, a unit's output runs from its power-up (1.2 s before
// the run), as a unit's on a bench does, rather than from the tool's first
// byte: what queues in its transmit buffer meanwhile then lies ahead of the
// first answers.
VarnexSim::ModelOptions At(qint32 baud)
{
    VarnexSim::ModelOptions options;
    options.startBaud = baud;
    options.outputFromFirstByte = !gPoweredUp;
    options.faults = gUnitFaults;
    return options;
}

// Line time of what crossed the link, each byte at the rate it went at. The
// line carries both ways at once (a poll goes out while earlier replies come
// in), so at each rate it takes at least the longer of the two directions.
void LineFloor::Add(qint32 rate, qsizetype bytes, bool fromPc)
{
    if (rate <= 0)
        return;
    auto& [out, in] = byRate[rate];
    (fromPc ? out : in) += bytes * 10.0 / rate;
    (fromPc ? sent : received) += bytes;
}

double LineFloor::Seconds() const
{
    double seconds = 0;
    for (const auto& [rate, both] : byRate)
        seconds += std::max(both.first, both.second);
    return seconds;
}

LineFloor FloorOf(const std::vector<VarnexSim::TranscriptEntry>& transcript, std::size_t from)
{
    LineFloor floor;
    for (std::size_t i = from; i < transcript.size(); ++i) {
        const auto& e = transcript[i];
        const bool fromPc = e.dir == VarnexSim::TranscriptEntry::Direction::FromPc;
        const qint32 rate = fromPc ? e.pcBaud : e.linkBaud;
        if (rate <= 0)
            continue;
        floor.Add(rate, e.bytes.size(), fromPc);
    }
    return floor;
}


PtyRun OnPty(const VarnexSim::ModelOptions& options, const std::function<bool()>& work,
             const std::function<void()>& prepare)
{
    constexpr unsigned long kAfterPowerUpMs = 1200;
    PtySim sim(1, options);
    SelectedPort = 1;
    MessageRecorder quiet;
    QThread::msleep(kAfterPowerUpMs);
    if (prepare)
        prepare();
    const std::size_t before = sim.Transcript().size();
    PtyRun run;
    const double wall0 = WallSeconds();
    run.ok = work();
    run.wall = WallSeconds() - wall0;
    CommsFrm::SerialPort().SetPortOpen(false);
    run.floor = FloorOf(sim.Transcript(), before);
    return run;
}

PtyRun OnPty(qint32 from, const std::function<bool()>& work, const std::function<void()>& prepare)
{
    return OnPty(At(from), work, prepare);
}

// The product's port, counting the line time of every byte it writes and
// reads at the rate it runs at: what the PC's line carried, whatever it was
// (answers, or the receiver's own output that they queue behind).
class CountingDevice final : public SerialDevice {
public:
    explicit CountingDevice(LineFloor& floor) : floor_(floor) {}
    bool Open(const QString& path, qint32 baud, QString& error) override { baud_ = baud; return port_.Open(path, baud, error); }
    void Close() override { port_.Close(); }
    bool IsOpen() const override { return port_.IsOpen(); }
    bool SetBaudRate(qint32 baud) override { baud_ = baud; return port_.SetBaudRate(baud); }
    void Write(const QByteArray& bytes) override
    {
        floor_.Add(baud_, bytes.size(), true);
        port_.Write(bytes);
    }
    QByteArray ReadAll() override
    {
        QByteArray bytes = port_.ReadAll();
        floor_.Add(baud_, bytes.size(), false);
        return bytes;
    }
    void WaitForInput(double seconds) override { port_.WaitForInput(seconds); }
    bool IsGone() const override { return port_.IsGone(); }

private:
    LineFloor& floor_;
    QtSerialDevice port_;
    qint32 baud_ = 0;
};

// True when every item was compared and equal; otherwise says on stderr
// how the proof ended and which items differed, so a failed row can be told.
bool Proved(const Verification::ReadBack& readBack)
{
    if (readBack.end == Verification::ReadBackEnd::Compared && Verification::AllEqual(readBack.items))
        return true;
    std::fprintf(stderr, "  proof: %s\n", qPrintable(Verification::EndName(readBack.end)));
    for (const Verification::Item& item : readBack.items)
        if (!item.equal)
            std::fprintf(stderr, "    %s (read at %d)\n", qPrintable(Verification::Describe(item)), item.rate);
    return false;
}

// What `verify` does once the port is chosen: find the link, read back.
bool Verify(const SetupOutputs::Profile& p)
{
    const auto expected = Verification::ExpectedState(p);
    const auto link = Verification::FindForProof(CommsFrm::SerialPort(), expected);
    if (!link)
        return false;
    const auto readBack = Verification::Prove(CommsFrm::SerialPort(), expected, Verification::Start::Found, *link);
    return Proved(readBack);
}

// Runs `work` on a pty as OnPty does, with its floor counted at the PC
// (CountingDevice) from the work's start: every port the work opens counts.
PtyRun CountedRun(const VarnexSim::ModelOptions& options, const std::function<bool()>& work,
                  const std::function<void()>& prepare)
{
    LineFloor counted;
    bool counting = false;
    SerialControl::SetDeviceFactory([&]() -> std::unique_ptr<SerialDevice> {
        if (counting)
            return std::make_unique<CountingDevice>(counted);
        return std::make_unique<QtSerialDevice>();
    });
    PtyRun run = OnPty(options, [&] {
        counting = true;
        const bool ok = work();
        counting = false;
        return ok;
    }, prepare);
    SerialControl::SetDeviceFactory({});
    run.floor = counted;
    return run;
}

PtyRun CountedRun(qint32 from, const std::function<bool()>& work, const std::function<void()>& prepare)
{
    return CountedRun(At(from), work, prepare);
}

// What `configure --fast --verify` does once the port is chosen: the fast
// run, then the proof of what it just sent and saved.
bool FastAndVerify(const SetupOutputs::Profile& p)
{
    SetupOutputs::FoundLink link;
    if (!SetupOutputs::RunProfileFast(p, CommsFrm::SerialPort(), {}, &link))
        return false;
    const auto readBack = Verification::Prove(CommsFrm::SerialPort(), Verification::ExpectedState(p),
                                              Verification::Start::JustConfigured, link);
    return Proved(readBack);
}

// A unit as it comes to the bench: its link at `baud` (0 on USB), its
// output running since power-up (the run starts 1.2 s into it), and, when
// `fill` > 0, messages of its own filling that share of the line.
// With --drop-answers, an answer its full transmit buffer cannot take is
// dropped, as a real unit's is.
VarnexSim::ModelOptions Unit(qint32 baud, double fill, int linkPort)
{
    VarnexSim::ModelOptions options;
    options.linkPort = linkPort;
    options.startBaud = baud;
    options.fill = fill;
    options.faults = gUnitFaults;
    options.faults.answersDropWhenFull = gDropAnswers;
    return options;
}

// The median run of `runs` by wall time; ok only when every run was.
PtyRun Median(int runs, const std::function<PtyRun()>& one)
{
    std::vector<PtyRun> each;
    for (int i = 0; i < runs; ++i)
        each.push_back(one());
    std::sort(each.begin(), each.end(), [](const PtyRun& a, const PtyRun& b) { return a.wall < b.wall; });
    PtyRun median = each[each.size() / 2];
    median.runs = runs;
    median.minWall = each.front().wall;
    median.maxWall = each.back().wall;
    median.okRuns = int(std::count_if(each.begin(), each.end(), [](const PtyRun& e) { return e.ok; }));
    median.ok = median.okRuns == runs;
    return median;
}


} // namespace ProfileBench
