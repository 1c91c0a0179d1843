// The fast runner against the exact one, from the same receiver: the same
// message, the same running configuration (every port's rate, every message
// rate on every port, CFG-RATE, CFG-NAV, CFG-TP) and the same flash; nothing
// saved when a step is not confirmed. In virtual time, plus one run on a pty.
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "profiles/SetupOutputs.h"
#include "receiver_config/ResetList.h"

#include <QtTest>

using namespace SetupOutputs;
using VarnexSim::Key;
using VarnexSim::ReceiverConfig;

namespace {

struct Start {
    qint32 baud = 0;           // the link port's rate; 0 keeps the factory's 9600
    bool binaryAt5Hz = false;  // NMEA off, three NAV messages at five solutions a second
    VarnexSim::Faults faults;
};

struct Row {
    const char* label;
    const char* device;
    Start start;
    bool configured;
};

VarnexSim::Faults Refusing(quint8 cls, quint8 id)
{
    VarnexSim::Faults f;
    f.nakFor.insert(Key(cls, id));
    return f;
}

VarnexSim::Faults Dropping(quint8 cls, quint8 id)
{
    VarnexSim::Faults f;
    f.neverAck.insert(Key(cls, id));
    return f;
}

VarnexSim::Faults GarbledLinkMoveAck()
{
    VarnexSim::Faults f;
    f.linkMoveAck = VarnexSim::LinkMoveAck::Garbled;
    return f;
}

VarnexSim::Faults Late(double seconds)
{
    VarnexSim::Faults f;
    f.replyLatency = seconds;
    return f;
}

const Row kRows[] = {
    {"Sculla from 9600", "sculla", {}, true},
    {"Pemmet from 9600", "pemmet", {}, true},
    {"Molvane from 9600", "molvane", {}, true},
    {"Garnock from 9600", "garnock", {}, true},
    {"Trissel from 9600", "trissel", {}, true},
    {"Garnock from 57600", "garnock", {57600, false, {}}, true},
    {"Trissel from 4800, binary output at 5 Hz", "trissel", {4800, true, {}}, true},
    {"Pemmet answering 1.5 s late", "pemmet", {0, false, Late(1.5)}, true},
    {"Molvane, CFG-TP refused", "molvane", {0, false, Refusing(0x06, 0x07)}, false},
    {"Molvane, link move acknowledged garbled", "molvane", {0, false, GarbledLinkMoveAck()}, true},
    {"Garnock, CFG-NAV never acknowledged", "garnock", {0, false, Dropping(0x06, 0x03)}, false},
    {"Sculla, every CFG-PRT refused", "sculla", {0, false, Refusing(0x06, 0x00)}, false},
    {"Pemmet, save refused", "pemmet", {0, false, Refusing(0x06, 0x09)}, false},
};

ReceiverConfig StartConfig(const Start& s)
{
    ReceiverConfig c = VarnexSim::FactoryDefaults();
    if (s.baud > 0)
        c.ports[1].baud = s.baud;
    if (s.binaryAt5Hz) {
        c.msgRates.clear();
        c.measRateMs = 200;
        for (const auto nav : {Key(0x01, 0x02), Key(0x01, 0x12), Key(0x01, 0x21)})
            c.SetRate(nav, 1, 1);
    }
    return c;
}

struct Outcome {
    QStringList messages;
    ReceiverConfig running;
    ReceiverConfig flash;
    qsizetype msgCommands = 0; // CFG-MSG frames the receiver understood
};

Outcome RunVirtual(bool fast, const Row& row)
{
    VirtualReceiver receiver;
    receiver.Model().SetRunning(StartConfig(row.start));
    receiver.SetFaults(row.start.faults);
    MessageRecorder messages;
    const Profile& profile = *FindProfile(QString::fromLatin1(row.device));
    const bool done = fast ? RunProfileFast(profile) : RunProfile(profile);
    if (done != row.configured)
        qWarning("%s run ended %s", fast ? "fast" : "exact", done ? "configured" : "unconfigured");
    return {messages.texts, receiver.Model().Running(), receiver.Model().FlashConfig(),
            receiver.Frames(0x06, 0x01).size()};
}

qsizetype MessageSteps(const Profile& p)
{
    return std::count_if(p.steps.begin(), p.steps.end(), [](const Step& s) { return s.op == Op::SetMessageRate; });
}

} // namespace

class TestFastRunner : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CommsFrm::SerialPort().SetPortOpen(false); }
    void sameReceiverAsTheExactRun_data();
    void sameReceiverAsTheExactRun();
    void onARealPty();
};

void TestFastRunner::sameReceiverAsTheExactRun_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(kRows)); ++i)
        QTest::newRow(kRows[i].label) << i;
}

void TestFastRunner::sameReceiverAsTheExactRun()
{
    QFETCH(int, index);
    const Row& row = kRows[index];
    const Profile& profile = *FindProfile(QString::fromLatin1(row.device));
    const Outcome exact = RunVirtual(false, row);
    const Outcome fast = RunVirtual(true, row);

    QCOMPARE(fast.messages, exact.messages);
    QVERIFY(fast.flash == exact.flash);
    if (!row.configured) {
        QCOMPARE(fast.messages.size(), 1);
        QVERIFY(fast.messages[0] != QString::fromLatin1(profile.success));
        QVERIFY(fast.flash == VarnexSim::FactoryDefaults());
        return;
    }
    QCOMPARE(fast.messages, QStringList{QString::fromLatin1(profile.success)});
    QVERIFY(fast.running == exact.running);
    QVERIFY(fast.flash == fast.running);
    // Each distinct command once: the reset's 38 CFG-MSG, not four passes of them.
    QCOMPARE(fast.msgCommands, qsizetype(VarnexCommsRoutines::kResetMessages.size()) + MessageSteps(profile));
    QCOMPARE(exact.msgCommands, 4 * qsizetype(VarnexCommsRoutines::kResetMessages.size()) + MessageSteps(profile));
}

// QSerialPort, the drain before a rate change and the simulator's rate
// detection on a real line: the fast path's link moves depend on all three.
void TestFastRunner::onARealPty()
{
    const Row row{"Trissel", "trissel", {57600, false, {}}, true};
    const Outcome exact = RunVirtual(false, row);
    VarnexSim::ModelOptions options;
    options.startBaud = 57600;
    PtySim sim(1, options);
    QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
    SelectedPort = 1;
    MessageRecorder messages;
    const Profile& trissel = *FindProfile(QStringLiteral("trissel"));
    QVERIFY(RunProfileFast(trissel));
    CommsFrm::SerialPort().SetPortOpen(false);
    QCOMPARE(messages.texts, exact.messages);
    QVERIFY(sim.Running() == exact.running);
    QVERIFY(sim.Sim().WithModel([](VarnexSim::ReceiverModel& m) { return m.FlashConfig(); }) == exact.flash);
    QCOMPARE(sim.FramesFromPc().filter(QRegularExpression(QStringLiteral("^b5 62 06 01"))).size(),
             qsizetype(VarnexCommsRoutines::kResetMessages.size()) + MessageSteps(trissel));
}

QTEST_MAIN(TestFastRunner)
#include "test_fast_runner.moc"
