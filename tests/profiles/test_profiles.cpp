// The device profiles, each row run by the exact runner and by the fast one
// from the same receiver: the same message and the same flash; when
// configured, the same running configuration (every port's rate, every
// message rate on every port, CFG-RATE, CFG-NAV, CFG-TP) with each distinct
// command sent once by the fast runner; when not, nothing saved. Where the
// receiver falls silent at a frame, the exact run's frames and the time it
// took to give up. In virtual time, plus Garnock's exact run on a real line
// with its two moves of the link, beside another receiver on a second port
// (the command line's end-to-end test runs the fast path on a real line). A device run from the file it was exported to
// sends the built-in's frames, byte for byte, with either runner.
#include "harness/GoldenFrames.h"
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/SerialControl.h"
#include "profiles/FastLink.h"
#include "profiles/ProfileFile.h"
#include "profiles/SetupOutputs.h"
#include "profiles/StepFrames.h"
#include "profiles/Verification.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "sim/UbxCodec.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtTest>

using namespace SetupOutputs;
using VarnexSim::Key;
using VarnexSim::ReceiverConfig;
using Chunks = QList<QPair<double, QByteArray>>;
Q_DECLARE_METATYPE(VarnexSim::ModelOptions)
Q_DECLARE_METATYPE(VarnexSim::Faults)

namespace {

const QString kConnect = QStringLiteral("Failed to connect to the Varnex module, please check it is connected correctly");
const QString kParameter = QStringLiteral("Failed to set Varnex parameter please check it is connected correctly");
const QString kBaud = QStringLiteral("Failed to set Varnex baud rate correctly please check it is connected correctly");
const QString kFlash = QStringLiteral("Failed to write Varnex to flash memory please check it is connected correctly");

struct Row {
    QString device;
    int linkPort = 1;         // the receiver port the PC is wired to
    qint32 baud = 0;          // the link port's rate; 0 keeps the factory's 9600
    bool binaryAt5Hz = false; // NMEA off, three NAV messages at five solutions a second
    VarnexSim::Faults faults;
    QString silentFrom;       // the frame (hex) from which on the receiver answers and applies nothing
    QString message;          // empty: configured, with the device's own message
    // The exact run, when checked (>= 0): CFG-MSG frames sent, golden frames
    // sent after the reset, seconds from the silence to the end.
    int cfgMsg = -1;
    int afterReset = -1;
    double seconds = -1;
    bool fromFile = false;    // run from the device's exported profile file
    double fill = 0;          // a busy unit: its output fills this share of the line at 9600 bit/s
    double fastWithin = -1;   // when >= 0, the fast run ends within so many (virtual) seconds
    double poweredFor = 0;    // seconds the unit's output has run when the run begins
};

struct Outcome {
    bool done = false;
    QStringList messages;
    ReceiverConfig running;
    ReceiverConfig flash;
    double seconds = 0;   // the whole run, virtual
    QStringList frames;   // every frame the receiver understood
    qsizetype cfgMsg = 0; // of them CFG-MSG
    double sinceSilent = 0;
    QSet<qint32> linkPolledAt; // rates at which the receiver understood a poll of its link port
};

Outcome Run(bool fast, const Row& row)
{
    VarnexSim::ModelOptions options{.linkPort = row.linkPort};
    options.fill = row.fill;
    VirtualReceiver receiver(options);
    ReceiverConfig start = receiver.Model().Running();
    if (row.baud > 0)
        start.ports[row.linkPort].baud = row.baud;
    if (row.binaryAt5Hz) {
        start.msgRates.clear();
        start.measRateMs = 200;
        for (const auto nav : {Key(0x01, 0x02), Key(0x01, 0x12), Key(0x01, 0x21)})
            start.SetRate(nav, row.linkPort, 1);
    }
    receiver.Model().SetRunning(start);
    receiver.SetFaults(row.faults);
    double silentAt = 0;
    receiver.OnWrite([&](const QByteArray&) {
        if (!row.silentFrom.isEmpty() && silentAt == 0
            && receiver.Written().toHex().toUpper().endsWith(row.silentFrom.toLatin1())) {
            receiver.SetFaults({.silent = true});
            silentAt = receiver.Elapsed();
        }
    });
    receiver.Idle(row.poweredFor);
    MessageRecorder messages;
    const Profile* builtIn = FindProfile(row.device);
    const auto file = row.fromFile ? ProfileFile::Read(ProfileFile::Write(*builtIn), "exported.toml") : ProfileFile::ReadResult{};
    if (row.fromFile && !file.profile)
        qFatal("%s", file.error.c_str());
    const Profile& profile = row.fromFile ? file.profile->Profile() : *builtIn;
    Outcome o;
    const double began = receiver.Elapsed();
    o.done = fast ? RunProfileFast(profile, CommsFrm::SerialPort()) : RunProfile(profile, CommsFrm::SerialPort());
    o.seconds = receiver.Elapsed() - began;
    o.messages = messages.texts;
    o.running = receiver.Model().Running();
    o.flash = receiver.Model().FlashConfig();
    o.frames = receiver.Frames();
    o.cfgMsg = receiver.Frames(0x06, 0x01).size();
    o.sinceSilent = receiver.Elapsed() - silentAt;
    for (const auto& e : receiver.Model().GetTranscript().Entries())
        if (e.IsFrameFromPc() && e.cls == 0x06 && e.id == 0x00 && e.bytes.size() == 8)
            o.linkPolledAt.insert(e.pcBaud);
    return o;
}

bool IsRateSet(const QString& frame) { return frame.startsWith(u"B56206080600"); }

// The rates the link is moved to in a run of `profile` from `baud`: the
// reset's, then each of the profile's own changes of the link's port.
QSet<qint32> LinkMoves(const Profile& profile, int linkPort, qint32 baud)
{
    QSet<qint32> moves;
    if (linkPort == 3)
        return moves; // USB has no rate to move
    qint32 rate = baud > 0 ? baud : 9600;
    for (const Step& s : profile.steps) {
        const auto* baud = std::get_if<SetupOutputs::BaudRate>(&s);
        const qint32 to = std::holds_alternative<SetupOutputs::Reset>(s) ? 115200 : baud && baud->port == linkPort ? baud->rate : rate;
        if (to != rate)
            moves.insert(to);
        rate = to;
    }
    return moves;
}

} // namespace

class TestProfiles : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CommsFrm::SerialPort().SetPortOpen(false); }
    void runs_data();
    void runs();
    void garnockOnRealLine();
    void searchAtATalkingUnitsRate_data();
    void searchAtATalkingUnitsRate();
    void proofOfAGoodUnit_data();
    void proofOfAGoodUnit();
    void stepFramesAreWhatTheOperationsSend();

private:
    QList<Row> rows_;
};

void TestProfiles::runs_data()
{
    QTest::addColumn<int>("index");
    rows_.clear();
    const auto add = [this](const QByteArray& label, Row row) {
        QTest::newRow(label.constData()) << int(rows_.size());
        rows_.append(std::move(row));
    };
    for (const Profile& p : Profiles())
        add(p.name, {.device = p.key});
    for (const Profile& p : Profiles())
        add(QByteArray(p.name) + " from its exported file", {.device = p.key, .fromFile = true});
    add("Garnock from 57600", {.device = "garnock", .baud = 57600});
    add("Trissel from 4800, binary output at 5 Hz", {.device = "trissel", .baud = 4800, .binaryAt5Hz = true});
    // The link's move goes out as soon as the unit is heard at its rate, so its
    // ACK waits behind the output once with the poll's reply, not again after it.
    add("Pemmet from 2400, its NMEA overfilling the line since power-up",
        {.device = "pemmet", .baud = 2400, .fastWithin = 6.0, .poweredFor = 1.2});
    add("Pemmet answering 1.5 s late", {.device = "pemmet", .faults = {.replyLatency = 1.5}});
    add("Pemmet from 4800, answering 1.5 s late", {.device = "pemmet", .baud = 4800, .faults = {.replyLatency = 1.5}});
    add("Molvane wired to port 2", {.device = "molvane", .linkPort = 2});
    add("Trissel wired to port 2, from 57600", {.device = "trissel", .linkPort = 2, .baud = 57600});
    add("Pemmet, DDC refuses UART settings", {.device = "pemmet", .faults = {.nakPrtPorts = {0}}});
    add("Pemmet on its own USB port", {.device = "pemmet", .linkPort = 3, .fastWithin = 2.0});
    add("Garnock, a newer unit whose output fills 9600 bit/s", {.device = "garnock", .fill = 1.0, .fastWithin = 2.0});
    add("Garnock, USB refuses UART settings", {.device = "garnock", .faults = {.nakPrtPorts = {3}}});
    add("Molvane, the port not wired to the PC refuses them", {.device = "molvane", .faults = {.nakPrtPorts = {2}}});
    add("Molvane, link move acknowledged garbled",
        {.device = "molvane", .faults = {.linkMoveAck = VarnexSim::LinkMoveAck::Garbled}});
    for (const Profile& p : Profiles())
        add(QByteArray(p.name) + ": no receiver",
            {.device = p.key, .faults = {.silent = true}, .message = p.connectFailure, .cfgMsg = 0, .afterReset = 0});
    add("reset refused at message 26", {.device = "sculla", .silentFrom = HexFrame("B5 62 06 01 06 00 F0 00 00 00 00 00 FD 15"),
                                        .message = kConnect, .cfgMsg = 26, .afterReset = 0, .seconds = 5.0});
    const QStringList molvane = GoldenProfileFrames("Molvane");
    add("time pulse unanswered", {.device = "molvane", .silentFrom = molvane[2], .message = kParameter, .afterReset = 3,
                                  .seconds = 5.0});
    add("first baud change unanswered", {.device = "molvane", .silentFrom = molvane[8], .message = kBaud,
                                         .afterReset = 10, .seconds = 11 * 5.0 + 10 * 0.6});
    add("save unanswered", {.device = "pemmet", .silentFrom = GoldenProfileFrames("Pemmet").last(), .message = kFlash,
                            .afterReset = 9, .seconds = 5.0});
    add("Molvane, CFG-TP refused", {.device = "molvane", .faults = {.nakFor = {Key(0x06, 0x07)}}, .message = kParameter});
    add("Garnock, CFG-NAV never acknowledged",
        {.device = "garnock", .faults = {.neverAck = {Key(0x06, 0x03)}}, .message = kParameter});
    add("Sculla, every CFG-PRT refused", {.device = "sculla", .faults = {.nakFor = {Key(0x06, 0x00)}}, .message = kConnect});
    add("Pemmet, save refused", {.device = "pemmet", .faults = {.nakFor = {Key(0x06, 0x09)}}, .message = kFlash});
}

void TestProfiles::runs()
{
    QFETCH(int, index);
    const Row& row = rows_[index];
    const Profile& profile = *FindProfile(row.device);
    const bool configured = row.message.isEmpty();
    const Outcome exact = Run(false, row);
    const Outcome fast = Run(true, row);
    for (const Outcome* o : {&exact, &fast}) {
        QCOMPARE(o->done, configured);
        QCOMPARE(o->messages, QStringList{configured ? QString::fromLatin1(profile.success) : row.message});
        QVERIFY(o->flash == (configured ? o->running : VarnexSim::FactoryDefaults()));
    }
    if (configured) {
        QVERIFY(fast.running == exact.running);
        // Each distinct command once: the reset's 38 CFG-MSG, not four passes of them.
        const auto reset = qsizetype(VarnexCommsRoutines::kResetMessages.size());
        const auto own = qsizetype(std::count_if(profile.steps.begin(), profile.steps.end(),
                                                 [](const Step& s) { return std::holds_alternative<SetupOutputs::MessageRate>(s); }));
        QCOMPARE(fast.cfgMsg, reset + own);
        QCOMPARE(exact.cfgMsg, 4 * reset + own);
        // Every move of the link is confirmed by a poll at its new rate.
        const QSet<qint32> moves = LinkMoves(profile, row.linkPort, row.baud);
        QVERIFY2(fast.linkPolledAt.contains(moves), qPrintable(QString::number(fast.linkPolledAt.size())));
    }
    if (row.fromFile) {
        Row builtIn = row;
        builtIn.fromFile = false;
        QCOMPARE(exact.frames, Run(false, builtIn).frames);
        QCOMPARE(fast.frames, Run(true, builtIn).frames);
    }
    if (row.cfgMsg >= 0) {
        QCOMPARE(exact.cfgMsg, qsizetype(row.cfgMsg));
        QCOMPARE(std::count_if(exact.frames.begin(), exact.frames.end(), IsRateSet), row.cfgMsg > 0 ? 1 : 0);
    }
    if (row.afterReset >= 0)
        QCOMPARE(FramesAfterReset(exact.frames), GoldenProfileFrames(row.device).mid(0, row.afterReset));
    if (row.seconds >= 0)
        QVERIFY2(qAbs(exact.sinceSilent - row.seconds) < 0.05, qPrintable(QString::number(exact.sinceSilent)));
    // A unit that answers at no rate does not tie the bench up: no blind bring-up on a silent line.
    if (row.faults.silent)
        QVERIFY2(fast.seconds < 5.0, qPrintable(QString::number(fast.seconds)));
    if (row.fastWithin >= 0)
        QVERIFY2(fast.seconds < row.fastWithin, qPrintable(QString::number(fast.seconds)));
}

// From 1200 bit/s, where only a drained line carries the blind CFG-PRTs
// whole; every acknowledgement ends its wait on arrival.
void TestProfiles::searchAtATalkingUnitsRate_data()
{
    using VarnexSim::ModelOptions;
    QTest::addColumn<ModelOptions>("unit");
    QTest::addColumn<Chunks>("chunks");  // bytes heard beside the unit's own (a quiet unit then)
    QTest::addColumn<bool>("moving");    // told to move its link to 115200 just before the search
    QTest::addColumn<int>("foundAt");
    QTest::addColumn<double>("within");  // virtual seconds
    const QByteArray raw = VarnexSim::EncodeUbx(0x02, 0x15, QByteArray(600, '\1'));
    const ModelOptions late{.startBaud = 4800, .faults = {.replyLatency = 0.8}};
    QTest::newRow("a long frame: its start heard, its end late")
        << late << Chunks{{0.1, raw.left(200)}, {0.75, raw.mid(200)}} << false << 4800 << 2.5;
    QTest::newRow("a long frame: its start missed, the next one whole")
        << late << Chunks{{0.1, raw.mid(20, 250)}, {0.6, raw.mid(270)}, {0.75, raw}} << false << 4800 << 2.5;
    QTest::newRow("draining its output before a move (a run stopped right after it)")
        << ModelOptions{.startBaud = 4800, .fill = 0.9} << Chunks{} << true << 115200 << 5.0;
    // Its output heard at the other rates as framing errors, which are not heard out.
    QTest::newRow("talking at 4800, searched from 9600") << ModelOptions{.startBaud = 4800} << Chunks{} << false << 4800 << 0.25;
}

// The search at the unit's rate while it talks: long binary frames under way
// are heard out until one is whole, which proves the rate, and the reply
// queued behind them is waited for, not taken for silence; a unit deaf there
// on its way to the reset's rate is found at that rate; framing errors at the
// other rates are not heard out.
void TestProfiles::searchAtATalkingUnitsRate()
{
    QFETCH(VarnexSim::ModelOptions, unit);
    QFETCH(Chunks, chunks);
    QFETCH(bool, moving);
    VirtualReceiver receiver(unit);
    if (!chunks.isEmpty())
        receiver.Quiet();
    for (const auto& [at, bytes] : chunks)
        receiver.Arrive(at, bytes);
    CommsFrm::SerialPort().SetCommPort(1);
    if (moving) {
        receiver.Idle(1.2);
        CommsFrm::SerialPort().SetRate(4800);
        QVERIFY(CommsFrm::SerialPort().SetPortOpen(true));
        uBloxLowLevelComms::SendFrame(CommsFrm::SerialPort(), Payloads::CfgPrt(115200, 1));
    }
    FastLink::Line line(CommsFrm::SerialPort());
    QVERIFY(line.Open());
    const double start = receiver.Elapsed();
    const FastLink::Search search = FastLink::Look(line);
    QVERIFY(search.link.has_value());
    QTEST(search.link->rate, "foundAt");
    QFETCH(double, within);
    QVERIFY2(receiver.Elapsed() - start < within, qPrintable(QString::number(receiver.Elapsed() - start)));
}

// A configured unit proven as `verify` proves it (searched for, both states
// read) or as `configure --fast --verify` does (the saved state after the
// run), from a factory unit at 9600 with its NMEA on, the proof started at
// each tenth of the unit's output cycle: a good unit passes, a load refused
// is the only refusal, and whatever the proof ends with, the unit is left
// running what it saved.
void TestProfiles::proofOfAGoodUnit_data()
{
    using End = Verification::ReadBackEnd;
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("afterRun");
    QTest::addColumn<VarnexSim::Faults>("faults"); // the unit's from its power-up
    QTest::addColumn<int>("end");
    QTest::addColumn<bool>("unanswered");          // a load's ACK never came
    QTest::addColumn<double>("within");            // virtual seconds, from every start
    const auto row = [](const char* name, const char* device, bool afterRun, VarnexSim::Faults faults, End end, bool unanswered,
                        double within) { QTest::newRow(name) << device << afterRun << faults << int(end) << unanswered << within; };
    // Its answers, and the search's move behind them, wait behind its output at 4800.
    row("Sculla answering late behind its output at 4800", "sculla", false, {.replyLatency = 0.1}, End::Compared, false, 1.5);
    row("Garnock answering late behind its output at 4800", "garnock", false, {.replyLatency = 0.1}, End::Compared, false, 1.5);
    // A poll that reaches it before it has moved is lost: polls resent at the line's pace.
    row("Sculla moving its link a moment after each ACK", "sculla", false, {.moveLag = 0.03}, End::Compared, false, 1.0);
    row("Molvane moving its link a moment after each ACK, after its run", "molvane", true, {.moveLag = 0.03},
        End::Compared, false, 1.0);
    row("Molvane, its load ACK damaged", "molvane", false, {.loadAckGarbled = true}, End::Compared, true, 1.0);
    row("Pemmet, its load ACK damaged where the load moves nothing", "pemmet", false, {.loadAckGarbled = true},
        End::Compared, true, 1.0);
    row("Molvane refusing the load", "molvane", false, {.nakLoad = true}, End::LoadRefused, false, 1.0);
    row("Sculla refusing the load, after its run", "sculla", true, {.nakLoad = true}, End::LoadRefused, false, 1.0);
    row("Garnock reporting its UART mode with bit 4 set", "garnock", false, {.reportsModeBit4 = true}, End::Compared, false, 1.0);
    row("Garnock reporting its UART mode with bit 4 set, after its run", "garnock", true, {.reportsModeBit4 = true},
        End::Compared, false, 1.0);
}

void TestProfiles::proofOfAGoodUnit()
{
    QFETCH(QString, device);
    QFETCH(bool, afterRun);
    QFETCH(VarnexSim::Faults, faults);
    QFETCH(int, end);
    QFETCH(bool, unanswered);
    QFETCH(double, within);
    const Profile& profile = *FindProfile(device);
    const auto expected = Verification::ExpectedState(profile);
    MessageRecorder messages;
    for (int tenth = 0; tenth < 10; ++tenth) {
        const QByteArray at = QByteArray::number(tenth / 10.0);
        VirtualReceiver receiver({.faults = faults});
        receiver.Idle(tenth / 10.0);
        FoundLink link;
        QVERIFY(RunProfileFast(profile, CommsFrm::SerialPort(), {}, &link));
        if (!afterRun) {
            CommsFrm::SerialPort().SetPortOpen(false);
            receiver.Idle(tenth / 10.0);
        }
        const double start = receiver.Elapsed();
        if (!afterRun) {
            const auto searched = Verification::FindForProof(CommsFrm::SerialPort(), expected);
            QVERIFY2(searched, at.constData());
            link = *searched;
        }
        const auto readBack = Verification::Prove(CommsFrm::SerialPort(), expected,
                                                  afterRun ? Verification::Start::JustConfigured : Verification::Start::Found, link);
        QVERIFY2(int(readBack.end) == end, qPrintable(at + ' ' + Verification::EndName(readBack.end)));
        for (const Verification::Item& item : readBack.items)
            QVERIFY2(item.equal, qPrintable(at + ' ' + Verification::Describe(item)));
        QVERIFY(!readBack.items.empty() || (afterRun && end != int(Verification::ReadBackEnd::Compared)));
        QCOMPARE(readBack.loadUnanswered, unanswered);
        QVERIFY2(readBack.putBack && receiver.Model().Running() == receiver.Model().FlashConfig(), at.constData());
        QVERIFY2(receiver.Elapsed() - start < within, qPrintable(at + ' ' + QByteArray::number(receiver.Elapsed() - start)));
        CommsFrm::SerialPort().SetPortOpen(false);
    }
}

// Two receivers on two ports of one process, each run on its own control
// (as the command line's given paths name them): Pemmet's fast run on one,
// Garnock's exact run on the other, then Pemmet's proof. A frame sent to the
// wrong port would break Garnock's golden frames or Pemmet's proof.
void TestProfiles::garnockOnRealLine()
{
    PtySim sim(1, {.startBaud = 1200});
    PtySim other(2);
    QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
    QVERIFY2(other.IsValid(), qPrintable(other.Error()));
    SerialControl garnockPort, pemmetPort;
    garnockPort.SetPathOverride(QDir(sim.PortsFolder()).filePath(QStringLiteral("com1")));
    pemmetPort.SetPathOverride(QDir(other.PortsFolder()).filePath(QStringLiteral("com2")));
    const Profile& pemmet = *FindProfile("Pemmet");
    MessageRecorder messages;
    QVERIFY(RunProfileFast(pemmet, pemmetPort));
    pemmetPort.SetPortOpen(false);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(RunProfile(*FindProfile("Garnock"), garnockPort, 1));
    QVERIFY2(timer.elapsed() < 60000, "waits ran to their limit instead of ending on the reply");
    garnockPort.SetPortOpen(false);
    QCOMPARE(messages.texts, (QStringList{"Configured for use with Pemmet", "Configured for use with the Garnock"}));
    QCOMPARE(FramesAfterReset(sim.FramesFromPc()), GoldenProfileFrames("Garnock"));
    QList<QPair<qint32, int>> blind; // CFG-PRT frames heard whole, and at which rate
    for (const auto& e : sim.Transcript())
        if (e.IsFrameFromPc() && e.cls == 0x06 && e.id == 0x00 && blind.size() < 6)
            blind.append({e.pcBaud, int(quint8(e.bytes[6]))});
    QCOMPARE(blind, (QList<QPair<qint32, int>>{{1200, 0}, {1200, 1}, {115200, 0}, {115200, 1}, {115200, 2}, {115200, 3}}));
    QVERIFY(sim.Sim().WithModel([](VarnexSim::ReceiverModel& m) { return m.FlashConfig() == m.Running(); }));
    QCOMPARE(sim.Running().ports[1].baud, 4800);
    const auto expected = Verification::ExpectedState(pemmet);
    const auto link = Verification::FindForProof(pemmetPort, expected);
    QVERIFY(link);
    const auto readBack = Verification::Prove(pemmetPort, expected, Verification::Start::Found, *link);
    QCOMPARE(Verification::EndName(readBack.end), Verification::EndName(Verification::ReadBackEnd::Compared));
    QVERIFY(!readBack.items.empty());
    for (const Verification::Item& item : readBack.items)
        QVERIFY2(item.equal, qPrintable(Verification::Describe(item)));
    pemmetPort.SetPortOpen(false);
}

// The frames each step stands for are the bytes its operation sends: every
// device's golden frames after the reset, less a confirmed baud change's polls.
void TestProfiles::stepFramesAreWhatTheOperationsSend()
{
    const QString ratePoll = HexFrame("B5 62 06 08 00 00 0E 30");
    for (const Profile& p : Profiles()) {
        QStringList sent;
        for (const Step& s : p.steps.subspan(1))
            for (uBloxLowLevelComms::UbxBuffer f : StepFrames(s)) {
                f[0] = 0xB5;
                f[1] = 0x62;
                sent << QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(f.data()), qsizetype(f.size())).toHex().toUpper());
            }
        QStringList golden = GoldenProfileFrames(p.name);
        golden.removeAll(ratePoll);
        QVERIFY(!golden.isEmpty());
        QCOMPARE(sent, golden);
    }
}

QTEST_MAIN(TestProfiles)
#include "test_profiles.moc"
