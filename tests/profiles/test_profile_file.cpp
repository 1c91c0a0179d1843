// Profile files. A unit configured as a built-in device, read back into a
// profile and that profile written and read as a file, configures a fresh
// unit that the verification finds equal item for item, running and saved,
// and that holds the same configuration as the unit read. A bad file is
// refused with the line and column of its fault. In virtual time.
#include "harness/MessageRecorder.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "profiles/ProfileFile.h"
#include "profiles/Reading.h"
#include "profiles/SetupOutputs.h"
#include "profiles/StepFrames.h"
#include "profiles/StepNames.h"
#include "profiles/Translation.h"
#include "profiles/Verification.h"
#include "receiver_config/Payloads.h"

#include <QtTest>

using namespace SetupOutputs;
using VarnexSim::Key;
using VarnexSim::ReceiverConfig;

namespace {

// The configuration as polls can tell it: a message never touched reads the
// same as one turned off everywhere.
ReceiverConfig Observable(ReceiverConfig config)
{
    std::erase_if(config.msgRates, [](const auto& entry) {
        return std::all_of(entry.second.begin(), entry.second.end(), [](quint8 r) { return r == 0; });
    });
    std::erase_if(config.spiRates, [](const auto& entry) { return entry.second == 0; });
    return config;
}

// A small valid file; each bad-file row spoils one line of it.
const char* const kGood = R"(name = "Bench unit é"  # é in a string and a comment is fine
nmea_port = 1

[[step]]
kind = "reset"
[[step]]
kind = "rate"
period_ms = 40000
navigation_rate = 300
[[step]]
kind = "baud"
rate = 9600
port = 1
[[step]]
kind = "message"
message = "NMEA-GGA"
rate = 5
port = 1
[[step]]
kind = "navigation"
position_dop_mask = 12.5
[[step]]
kind = "time_pulse"
interval_ms = 1000
length_ms = 100
[[step]]
kind = "save"
)";

// Bytes, so that a row can hold text that is not UTF-8 or holds NUL.
QByteArray operator""_b(const char* text, std::size_t size) { return QByteArray(text, qsizetype(size)); }

QByteArray Spoiled(const QByteArray& from, const QByteArray& to)
{
    QByteArray text(kGood);
    if (!from.isEmpty()) {
        if (!text.contains(from))
            qFatal("row does not match the good file: %s", from.constData());
        text.replace(from, to);
    }
    return text;
}

} // namespace

class TestProfileFile : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CommsFrm::SerialPort().SetPortOpen(false); }
    void cloneAndVerify_data();
    void cloneAndVerify();
    void searchMovesAPortThatIsNotTheLink();
    void badFiles_data();
    void badFiles();
};

void TestProfileFile::cloneAndVerify_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("linkPort");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<bool>("ggaOnBothUarts"); // a message on two ports, which one CFG-MSG per port cannot express
    QTest::addColumn<bool>("found");          // the clone proven as `verify` does: searched for, both states read
    QTest::addColumn<int>("pulseLengthUs");   // the golden unit's own time pulse length; 0 keeps the device's
    // A unit of a later generation, its golden unit configured from the
    // device written for it; 0 is the unit of the older set.
    QTest::addColumn<int>("generation");
    QTest::newRow("Garnock, running") << "garnock" << 1 << false << false << true << 0 << 0;
    QTest::newRow("Garnock, saved") << "garnock" << 1 << true << false << false << 0 << 0;
    QTest::newRow("Molvane wired to port 2, GGA on both UARTs") << "molvane" << 2 << false << true << true << 0 << 0;
    QTest::newRow("Trissel, RXM-SFRB outside the reset list") << "trissel" << 1 << false << false << false << 0 << 0;
    QTest::newRow("Pemmet on its own USB port, saved") << "pemmet" << 3 << true << false << true << 0 << 0;
    QTest::newRow("Molvane with a 50.5 ms pulse, kept to the µs") << "molvane" << 1 << false << false << true << 50500 << 0;
    QTest::newRow("u-blox 6 Garnock, found") << "garnock" << 1 << false << false << true << 0 << 6;
    QTest::newRow("u-blox 8 Molvane wired to port 2, saved") << "molvane" << 2 << true << false << true << 0 << 8;
    QTest::newRow("u-blox 9 Trissel") << "trissel" << 1 << false << false << true << 0 << 9;
    QTest::newRow("u-blox 10 Sculla, saved") << "sculla" << 1 << true << false << false << 0 << 10;
    // Nothing saved at its factory 38400: its flash holds nothing, and what it
    // starts with is its defaults.
    QTest::newRow("u-blox 10 from its factory, saved") << "" << 1 << true << false << true << 0 << 10;
}

void TestProfileFile::cloneAndVerify()
{
    QFETCH(QString, device);
    QFETCH(int, linkPort);
    QFETCH(bool, saved);
    QFETCH(bool, ggaOnBothUarts);
    QFETCH(bool, found);
    QFETCH(int, pulseLengthUs);
    QFETCH(int, generation);
    MessageRecorder messages;
    QString text;
    ReceiverConfig golden;
    VarnexSim::KeyValues goldenItems;
    const Profile* builtIn = device.isEmpty() ? nullptr : FindProfile(device);
    const auto translated = generation && builtIn ? Translation::ForGeneration(*builtIn, generation) : nullptr;
    {
        VirtualReceiver unit({.generation = generation, .linkPort = linkPort});
        if (builtIn)
            QVERIFY(RunProfileFast(translated ? translated->Profile() : *builtIn, CommsFrm::SerialPort()));
        else
            QVERIFY(FindReceiver(CommsFrm::SerialPort()));
        if (ggaOnBothUarts) {
            ReceiverConfig running = unit.Model().Running();
            running.SetRate(Key(0xF0, 0x00), 1, 3);
            running.SetRate(Key(0xF0, 0x00), 2, 7);
            unit.Model().SetRunning(running);
        }
        if (pulseLengthUs > 0) {
            ReceiverConfig running = unit.Model().Running();
            for (int i = 0; i < 4; ++i)
                running.cfgTp[4 + i] = char(quint32(pulseLengthUs) >> (8 * i));
            unit.Model().SetRunning(running);
        }
        const qsizetype before = unit.Frames().size();
        const auto read = Reading::ReadReceiver(CommsFrm::SerialPort(), saved, "Bench clone");
        QVERIFY(read);
        // Only polls (two payload bytes at most, or VALGET), moves of the
        // link's own port (by CFG-PRT, or by the UART1 rate item in RAM alone)
        // and, for the saved state, the loads went out.
        const QString load = QStringLiteral("B56206090C000000000000000000FFFF0000");
        const QString linkMove = QStringLiteral("B562060014000%1").arg(linkPort);
        const QString itemMove = QStringLiteral("B562068A0C000001000001005240");
        for (const QString& frame : unit.Frames().mid(before))
            QVERIFY2(frame.mid(8, 4) <= "0200" || frame.startsWith(linkMove) || frame.startsWith(u"B562068B")
                         || frame.startsWith(itemMove) || (saved && frame.startsWith(load)),
                     qPrintable(frame));
        golden = Observable(unit.Model().Running());
        goldenItems = unit.Model().Keys().ram;
        text = QString::fromStdString(ProfileFile::Write(read->Profile()));
    }
    const auto file = ProfileFile::Read(text.toStdString(), "clone.toml");
    QVERIFY2(file.profile, file.error.c_str());
    const Profile& clone = file.profile->Profile();
    QCOMPARE(clone.success, "Configured for use with Bench clone");
    QCOMPARE(clone.nmeaPort, builtIn ? builtIn->nmeaPort : 1);
    QStringList names;
    for (const Step& step : clone.steps)
        names << StepName(step);
    QCOMPARE(names.contains("SetMessageRate F0 00 rates 0 3 7 0"), ggaOnBothUarts);

    QCOMPARE(clone.generations.empty(), generation == 0);
    VirtualReceiver fresh({.generation = generation, .linkPort = linkPort});
    QVERIFY(RunProfileFast(clone, CommsFrm::SerialPort()));
    const auto expected = Verification::ExpectedState(clone);
    // Found, the link port reads as it ran, at the rate it was found at.
    const auto link = found ? Verification::FindForProof(CommsFrm::SerialPort(), expected) : SetupOutputs::FoundLink{};
    QVERIFY(link);
    const Verification::ReadBack readBack =
        Verification::Prove(CommsFrm::SerialPort(), expected, found ? Verification::Start::Found : Verification::Start::JustConfigured, *link);
    QVERIFY(readBack.savedRead);
    for (const Verification::Item& item : readBack.items) {
        QVERIFY2(item.equal, qPrintable(Verification::Describe(item)));
        if (item.state == Verification::State::Running && item.name.startsWith(u"CFG-PRT port 1") && linkPort == 1)
            QCOMPARE(item.rate, link->rate);
    }
    QCOMPARE(readBack.items.size() > 0 && readBack.items.front().state == Verification::State::Running, found);
    QCOMPARE(Observable(fresh.Model().Running()), golden);
    if (generation >= 9) {
        QCOMPARE(fresh.Model().Keys().ram, goldenItems);
        QCOMPARE(fresh.Model().Keys().flash, goldenItems);
    } else {
        QCOMPARE(Observable(fresh.Model().FlashConfig()), golden);
    }
}

// A factory unit wired to port 2 proven against Molvane, whose port 1 is
// saved at the factory's 9600 too: the search's poll and move of port 1 reach
// the unit over port 2. Port 1 reads as it ran, not as it was moved, and the
// unit is left running what it saved.
void TestProfileFile::searchMovesAPortThatIsNotTheLink()
{
    VirtualReceiver unit({.linkPort = 2});
    const ReceiverConfig factory = unit.Model().Running();
    const auto expected = Verification::ExpectedState(*FindProfile("molvane"));
    const auto link = Verification::FindForProof(CommsFrm::SerialPort(), expected);
    QVERIFY(link && link->receiverPort == 2 && link->rate == 9600);
    QCOMPARE(unit.Model().Running().ports[1].baud, 115200);
    const auto readBack = Verification::Prove(CommsFrm::SerialPort(), expected, Verification::Start::Found, *link);
    QCOMPARE(readBack.end, Verification::ReadBackEnd::Compared);
    const auto port1 = std::find_if(readBack.items.begin(), readBack.items.end(), [](const Verification::Item& i) {
        return i.state == Verification::State::Running && i.name == u"CFG-PRT port 1 baudRate";
    });
    QVERIFY(port1 != readBack.items.end());
    QVERIFY2(port1->equal && port1->rate == 9600, qPrintable(Verification::Describe(*port1)));
    QVERIFY(unit.Model().Running() == factory);
}

void TestProfileFile::badFiles_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("where"); // line:column; empty for a good file
    QTest::addColumn<QString>("what");  // for a good file, its success message
    QTest::newRow("not TOML") << "period_ms = 40000"_b << "period_ms = "_b << "8:13" << "expected a value";
    QTest::newRow("unknown key in a step") << "port = 1\n[[step]]\nkind = \"message\""_b << "porte = 1\n[[step]]\nkind = \"message\""_b
                                           << "13:1" << "unknown key porte";
    QTest::newRow("unknown key at the top") << "nmea_port = 1"_b << "nmea_port = 1\ncolour = \"red\""_b << "3:1" << "unknown key colour";
    QTest::newRow("unknown quoted key beyond ASCII") << "nmea_port = 1"_b << "nmea_port = 1\n\"Gr\u00FC\u00DFe\" = 1"_b << "3:1"
                                                     << "unknown key Grüße in the profile";
    QTest::newRow("unknown kind") << "kind = \"save\""_b << "kind = \"flash\""_b << "27:8" << "unknown step kind flash";
    QTest::newRow("baud rate not in the list") << "rate = 9600"_b << "rate = 9601"_b << "12:8" << "9601 is not one of";
    QTest::newRow("baud port above 3") << "rate = 9600\nport = 1"_b << "rate = 9600\nport = 4"_b << "13:8" << "port 4 is out of range";
    QTest::newRow("message port above 3") << "rate = 5\nport = 1"_b << "rate = 5\nport = 9"_b << "18:8" << "port 9 is out of range";
    QTest::newRow("message rate above 255") << "rate = 5"_b << "rate = 256"_b << "17:8" << "message rate 256 is out of range";
    QTest::newRow("period 0") << "period_ms = 40000"_b << "period_ms = 0"_b << "8:13" << "period_ms 0 is out of range 1..65535";
    QTest::newRow("period above 16 bits") << "period_ms = 40000"_b << "period_ms = 65536"_b << "8:13" << "period_ms 65536 is out";
    QTest::newRow("period just above 0") << "period_ms = 40000"_b << "period_ms = 0.50000001"_b << "8:13" << "whole number";
    QTest::newRow("period just below 65535.5") << "period_ms = 40000"_b << "period_ms = 65535.4999"_b << "8:13" << "whole number";
    QTest::newRow("navigation rate 0") << "navigation_rate = 300"_b << "navigation_rate = 0"_b << "9:19" << "navigation_rate 0";
    QTest::newRow("navigation rate above 16 bits") << "navigation_rate = 300"_b << "navigation_rate = 65536"_b << "9:19"
                                                   << "navigation_rate 65536 is out";
    QTest::newRow("pulse longer than its interval") << "length_ms = 100"_b << "length_ms = 1001"_b << "25:13" << "length_ms 1001";
    QTest::newRow("pulse in µs longer than its interval") << "interval_ms = 1000\nlength_ms = 100"_b
                                                          << "interval_us = 50500\nlength_us = 50501"_b << "25:13" << "length_us 50501";
    QTest::newRow("pulse in µs and in ms") << "length_ms = 100"_b << "length_us = 100000"_b << "22:1" << "not both";
    QTest::newRow("DOP mask off the 0.1 grid") << "= 12.5"_b << "= 12.55"_b << "21:21" << "steps of 0.1";
    QTest::newRow("DOP mask a hair off the grid") << "= 12.5"_b << "= 12.50000001"_b << "21:21" << "steps of 0.1";
    QTest::newRow("unknown message name") << "NMEA-GGA"_b << "NMEA-XYZ"_b << "16:11" << "unknown message NMEA-XYZ";
    QTest::newRow("rate of the wrong type") << "rate = 5"_b << "rate = \"5\""_b << "17:8" << "must be a whole number";
    QTest::newRow("a character beyond ASCII outside a string") << "navigation_rate = 300"_b << "navigation_rate = \u00A11"_b
                                                               << "9:19" << "¡ may stand only inside a quoted string or a comment";
    // Lines that led the parser into undefined behaviour while it described them.
    QTest::newRow("a sign before a string beyond ASCII") << "name = \"Bench unit \u00E9\""_b << "name = +\"Ger\u00E4t\""_b << "1:9"
                                                         << "a malformed number";
    QTest::newRow("a string beyond ASCII after a number") << "period_ms = 40000"_b << "period_ms = 1\"\u00FC\""_b << "8:14"
                                                          << "a malformed number";
    QTest::newRow("fuzz input") << QByteArray(kGood)
                                << QByteArray::fromBase64("bmFtZW5hbWUgPSsiU2VlPDw8AAAAAAAAAAA8PDw8PDw8PDw8PDwiImE8PDw8PDw8PDw8PDw8PDxa"
                                                          "PDw8PDw8PDw8PMS9PDw8PDw8PDw8PDw8PDwAZWFfcA==")
                                << "1:12" << "a malformed number";
    QTest::newRow("not UTF-8: a cut sequence") << "Bench unit \u00E9"_b << "Bench \xC3 unit"_b << "1:15" << "not UTF-8";
    QTest::newRow("not UTF-8: a surrogate in a comment") << "# \u00E9 in"_b << "# \xED\xA0\x80 in"_b << "1:26" << "not UTF-8";
    QTest::newRow("no save step") << "[[step]]\nkind = \"save\"\n"_b << ""_b << "22:1" << "the last step must be the save";
    QTest::newRow("no reset first") << "kind = \"reset\"\n[[step]]\n"_b << ""_b << "4:1" << "the first step must be the reset";
    QTest::newRow("no name") << QByteArray(kGood).split('\n').front() << ""_b << "1:1" << "has no name";
    QTest::newRow("good file") << ""_b << ""_b << "" << "Configured for use with Bench unit é";
    QTest::newRow("byte-order mark") << "name"_b << "\xEF\xBB\xBFname"_b << "" << "Configured for use with Bench unit é";
    QTest::newRow("strings beyond ASCII among escapes")
        << "nmea_port = 1"_b << "nmea_port = 1\nsuccess = \"\"\"\\\n   Ger\u00E4t \\u00FC\\t\"q\"\r\n\u00DF\"\"\"\"\""_b << ""
        << "Gerät ü\t\"q\"\nß\"\"";
    QTest::newRow("a text holding ''' and line breaks")
        << "nmea_port = 1"_b << "nmea_port = 1\nsuccess = \"\"\"a '''\n\tb\\\\\"\"\""_b << "" << "a '''\n\tb\\";
    QTest::newRow("a navigation step naming no field") << "kind = \"time_pulse\""_b
                                                       << "kind = \"navigation\"\n[[step]]\nkind = \"time_pulse\""_b << ""
                                                       << "Configured for use with Bench unit é";
    QTest::newRow("literal string beyond ASCII") << "nmea_port = 1"_b << "nmea_port = 1\nsuccess = 'C:\\Gr\u00FC\u00DFe\\'"_b << ""
                                                 << "C:\\Grüße\\";
}

void TestProfileFile::badFiles()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, where);
    QFETCH(QString, what);
    const auto result = ProfileFile::Read(Spoiled(from, to).toStdString(), "bench.toml");
    const QString error = QString::fromStdString(result.error);
    if (where.isEmpty()) {
        QVERIFY2(result.profile, qPrintable(error));
        QCOMPARE(QString::fromUtf8(result.profile->Profile().success), what);
        // What it writes reads back to the same texts.
        const auto again = ProfileFile::Read(ProfileFile::Write(result.profile->Profile()), "again.toml");
        QVERIFY2(again.profile, again.error.c_str());
        QCOMPARE(QString::fromUtf8(again.profile->Profile().success), what);
        QCOMPARE(QString::fromUtf8(again.profile->Profile().name), QString::fromUtf8(result.profile->Profile().name));
        // ... and to the same steps, sending the same frames.
        const auto& steps = result.profile->Profile().steps;
        const auto& stepsAgain = again.profile->Profile().steps;
        QCOMPARE(stepsAgain.size(), steps.size());
        for (std::size_t i = 0; i < steps.size(); ++i)
            QVERIFY2(StepFrames(stepsAgain[i]) == StepFrames(steps[i]), qPrintable(QString("step %1").arg(i + 1)));
        // Both rate fields are 16 bits wide, and the frame carries them exactly.
        const auto& rate = std::get<SetupOutputs::Rate>(result.profile->Profile().steps[1]);
        const auto frame = Payloads::CfgRate(rate.period, rate.navRate);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(frame.data()) + 6, 4), "\x40\x9C\x2C\x01"_b);
        // The named navigation field lands in its bytes; the rest of the block is the fixed one.
        const auto& nav = std::get<SetupOutputs::Navigation>(result.profile->Profile().steps[4]);
        QCOMPARE(nav.block.size(), Payloads::kNavBlockSize);
        auto builtIn = Payloads::CfgNav();
        builtIn[6 + 16] = 125;
        builtIn[6 + 17] = 0;
        uBloxLowLevelComms::CalcUbxChecksum(builtIn);
        QVERIFY(Payloads::CfgNav(nav.block) == builtIn);
        return;
    }
    QVERIFY(!result.profile);
    QVERIFY2(error.startsWith("bench.toml:" + where + ": "), qPrintable(error));
    QVERIFY2(error.contains(what), qPrintable(error));
    QVERIFY(!error.contains(u'\n'));
}

QTEST_MAIN(TestProfileFile)
#include "test_profile_file.moc"
