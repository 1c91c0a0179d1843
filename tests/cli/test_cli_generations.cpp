// Units of later receiver generations on the command line, in virtual time:
// a device the unit's generation cannot take is refused before anything but
// polls goes out; a refusal the sources could not foretell names the
// receiver and what it refused; a refused VALSET names the item.
#include "CliRun.h"
#include "harness/VirtualReceiver.h"
#include "profiles/ProfileFile.h"
#include "profiles/Translation.h"

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace CliRun;

namespace {

// A poll: no payload, the one-byte CFG-PRT, two-byte CFG-MSG forms, or a VALGET.
bool IsPoll(const QString& hex)
{
    const QString head = hex.left(12);
    return head.endsWith(QLatin1String("0000")) || head == QLatin1String("B56206000100")
           || head == QLatin1String("B56206010200") || head.startsWith(QLatin1String("B562068B"));
}

// A profile file written from `text` into `dir`.
QString FileOf(const QTemporaryDir& dir, const std::string& text)
{
    const QString path = dir.filePath(QStringLiteral("device.toml"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray::fromStdString(text));
    return path;
}

} // namespace

class TestCliGenerations : public QObject {
    Q_OBJECT
private slots:
    void laterUnits_data();
    void laterUnits();
};

void TestCliGenerations::laterUnits_data()
{
    QTest::addColumn<int>("generation");
    QTest::addColumn<QString>("command");    // "configure" or "verify"
    QTest::addColumn<QString>("device");     // built in; "garnock@8": written for generation 8
    QTest::addColumn<QString>("extraItem");  // added to the written device's items
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("said");       // in the record's message
    QTest::addColumn<bool>("onlyPolls");     // nothing but polls reached the unit
    QTest::addColumn<QString>("reason");     // the verdict's words
    QTest::addColumn<int>("startBaud");      // the link's rate at power-up; 0 the factory's
    QTest::newRow("u-blox 8: no CFG-TP") << 8 << "configure" << "molvane" << "" << 2
                                         << "a u-blox 8 (ROM CORE 3.01 (107888), protocol 18.00), which does not take CFG-TP;"
                                         << true << "not for u-blox 8" << 0;
    // Found at its factory 38400 by the ACK-NAK to the search's poll.
    QTest::newRow("u-blox 10 at its factory rate: none of the older set")
        << 10 << "configure" << "garnock" << "" << 2 << "which does not take CFG-PRT, CFG-RATE, CFG-MSG (four-target form)"
        << true << "not for u-blox 10" << 0;
    // Its search moves port 1 to the reading rate with its poll; refused, the move is undone.
    QTest::newRow("u-blox 8, verify") << 8 << "verify" << "molvane" << "" << 2 << "does not take CFG-TP" << false
                                      << "not for u-blox 8" << 0;
    // Below 9600 the search's move of port 1 rides with its poll; refused, it is undone.
    QTest::newRow("u-blox 8 at 4800") << 8 << "configure" << "molvane" << "" << 2 << "does not take CFG-TP" << false
                                      << "not for u-blox 8" << 4800;
    QTest::newRow("u-blox 10, verify") << 10 << "verify" << "pemmet" << "" << 2 << "a u-blox 10 (ROM SPG 5.10" << true << "not for u-blox 10" << 0;
    QTest::newRow("written for u-blox 8, on u-blox 10") << 10 << "configure" << "garnock@8" << "" << 2
                                                        << "is written for u-blox 8, and this receiver is a u-blox 10"
                                                        << true << "not for u-blox 10" << 0;
    // Whether u-blox 6 takes the older four-target CFG-MSG is not known: the unit says.
    QTest::newRow("u-blox 6 refusing the four-target CFG-MSG")
        << 6 << "configure" << "garnock" << "" << 1
        << "the receiver, a u-blox 6 (7.03 (45969), protocol 13.03), refused CFG-MSG (four-target form)" << false << "reset refused (CFG-MSG)" << 0;
    QTest::newRow("a VALSET refused: the item named, nothing saved")
        << 10 << "configure" << "garnock@10" << "CFG-UART2-BAUDRATE" << 1 << "the receiver does not know CFG-UART2-BAUDRATE"
        << false << "items refused (CFG-VALSET)" << 0;
    QTest::newRow("written for u-blox 10, run exactly") << 10 << "exact" << "garnock@10" << "" << 2 << "" << true << "" << 0;
}

void TestCliGenerations::laterUnits()
{
    QFETCH(int, generation);
    QFETCH(QString, command);
    QFETCH(QString, device);
    QFETCH(QString, extraItem);
    QFETCH(int, code);
    QFETCH(QString, said);
    QFETCH(bool, onlyPolls);
    QFETCH(QString, reason);
    QFETCH(int, startBaud);
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("units.jsonl"));
    QStringList args{command == u"verify" ? QStringLiteral("verify") : QStringLiteral("configure")};
    if (const qsizetype at = device.indexOf(u'@'); at > 0) {
        const auto written =
            Translation::ForGeneration(*SetupOutputs::FindProfile(device.left(at)), device.mid(at + 1).toInt());
        std::string text = ProfileFile::Write(*written);
        if (!extraItem.isEmpty())
            text.insert(text.find("[step.items]\n") + 13, extraItem.toStdString() + " = 115200\n");
        args << QStringLiteral("--profile") << FileOf(dir, text);
    } else {
        args << device;
    }
    args << QStringLiteral("--port") << QStringLiteral("1") << QStringLiteral("--report") << report;
    if (command == u"configure")
        args << QStringLiteral("--fast");
    VirtualReceiver receiver({.generation = generation, .startBaud = startBaud});
    const VarnexSim::ReceiverConfig found = receiver.Model().Running();
    const Captured run = RunCli(args);
    QVERIFY2(run.code == code, qPrintable(run.err));
    if (command != u"exact") {
        const QJsonObject unit = LastReportLine(report);
        QVERIFY2(unit["message"].toString().contains(said), qPrintable(unit["message"].toString()));
        QCOMPARE(unit["receiver"].toObject()["generation"].toInt(), generation);
        QCOMPARE(unit["outcome"].toString() == u"not for this receiver", code == 2);
        QCOMPARE(unit["reason"].toString(), reason);
    }
    const QStringList frames = receiver.Frames();
    QCOMPARE(std::all_of(frames.begin(), frames.end(), IsPoll), onlyPolls);
    QVERIFY(receiver.Frames(0x06, 0x09).isEmpty()); // never saved
    if (code == 2) // refused: left as it was found, a port the search moved put back
        QVERIFY(receiver.Model().Running() == found);
    QVERIFY(receiver.Model().Keys().flash.empty());
}

QTEST_GUILESS_MAIN(TestCliGenerations)
#include "test_cli_generations.moc"
