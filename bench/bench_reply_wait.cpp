// The reply wait's cost while nothing comes, and how quickly it returns once
// the byte that completes its stop condition arrives.
//
//   build/bench/bench_reply_wait [rounds]
#include "BenchUtil.h"
#include "harness/PtyPair.h"
#include "harness/PtySim.h"
#include "link/CommsFrm.h"
#include "link/uBloxLowLevelComms.h"

#include <QApplication>

#include <cstdio>
#include <random>
#include <thread>

using namespace BenchUtil;

namespace {

void OpenPort1(qint32 rate)
{
    SerialControl& port = CommsFrm::SerialPort();
    port.SetCommPort(1);
    port.SetSettings(QStringLiteral("%1,N,8,1").arg(rate));
    port.SetPortOpen(true);
}

// An unanswered acknowledgement wait against the simulator, which stays silent.
void IdleWaitCost()
{
    VarnexSim::ModelOptions options;
    options.startBaud = 115200;
    options.faults.silent = true;
    PtySim sim(1, options);
    OpenPort1(115200);
    const double wall0 = WallSeconds(), cpu0 = CpuSeconds();
    const bool found = uBloxLowLevelComms::WaitForUbxAck(0x06, 0x08);
    const double wall = WallSeconds() - wall0, cpu = CpuSeconds() - cpu0;
    std::printf("unanswered wait: %.3f s wall, %.4f s CPU = %.2f %% of one core (found=%d)\n", wall, cpu,
                100.0 * cpu / wall, found);
    CommsFrm::SerialPort().SetPortOpen(false);
}

// A writer thread sends an acknowledgement at a random moment; the delay is
// from its last byte's write to the wait's return.
void ReturnDelay(int rounds)
{
    TempPortsFolder folder;
    PtyPair pty;
    pty.MapAs(folder.Path(), 1);
    OpenPort1(115200);
    const QByteArray ack = QByteArray::fromHex("B562050102000608163F");
    std::mt19937 rng(7);
    std::vector<double> delays;
    for (int i = 0; i < rounds; ++i) {
        double written = 0;
        const int pauseUs = 2000 + int(rng() % 8000);
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
            pty.Write(ack.left(8));
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            written = WallSeconds();
            pty.Write(ack.mid(8, 1)); // the byte that ends the wait
        });
        uBloxLowLevelComms::FlushSerialInput();
        const bool found = uBloxLowLevelComms::WaitForUbxAck(0x06, 0x08);
        const double returned = WallSeconds();
        writer.join();
        pty.Write(ack.mid(9));
        if (found)
            delays.push_back((returned - written) * 1000.0);
    }
    std::sort(delays.begin(), delays.end());
    std::printf("return delay over %zu waits: median %.3f ms, 90th %.3f ms, max %.3f ms\n", delays.size(),
                Median(delays), delays[delays.size() * 9 / 10], delays.back());
    CommsFrm::SerialPort().SetPortOpen(false);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    IdleWaitCost();
    ReturnDelay(rounds);
    CommsFrm::Unload();
    return 0;
}
