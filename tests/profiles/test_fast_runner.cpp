// The fast runner against the exact one, from the same receiver: the same
// message, the same running configuration (every port's rate, every message
// rate on every port, CFG-RATE, CFG-NAV, CFG-TP) and the same flash; nothing
// saved when a step is not confirmed. In virtual time; the command line's
// end-to-end test runs it on a real pty.
#include "harness/MessageRecorder.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
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

const Row kRows[] = {
    {"Sculla from 9600", "sculla", {}, true},
    {"Pemmet from 9600", "pemmet", {}, true},
    {"Molvane from 9600", "molvane", {}, true},
    {"Garnock from 9600", "garnock", {}, true},
    {"Trissel from 9600", "trissel", {}, true},
    {"Garnock from 57600", "garnock", {.baud = 57600}, true},
    {"Trissel from 4800, binary output at 5 Hz", "trissel", {.baud = 4800, .binaryAt5Hz = true}, true},
    {"Pemmet answering 1.5 s late", "pemmet", {.faults = {.replyLatency = 1.5}}, true},
    {"Molvane, CFG-TP refused", "molvane", {.faults = {.nakFor = {Key(0x06, 0x07)}}}, false},
    {"Molvane, link move acknowledged garbled", "molvane", {.faults = {.linkMoveAck = VarnexSim::LinkMoveAck::Garbled}}, true},
    {"Garnock, CFG-NAV never acknowledged", "garnock", {.faults = {.neverAck = {Key(0x06, 0x03)}}}, false},
    {"Sculla, every CFG-PRT refused", "sculla", {.faults = {.nakFor = {Key(0x06, 0x00)}}}, false},
    {"Pemmet, save refused", "pemmet", {.faults = {.nakFor = {Key(0x06, 0x09)}}}, false},
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

QTEST_MAIN(TestFastRunner)
#include "test_fast_runner.moc"
