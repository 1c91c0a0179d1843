// The station's state machine, fed what a bench shows at moments of a
// virtual clock (seconds given with each event), and the stable name a port
// is kept to, over chains of links shaped like those real machines have.
#include "station/Machine.h"
#include "station/StableName.h"

#include <QtTest>

#include <map>

using namespace Station;

namespace {

constexpr double kGoneLimit = 2.0;

const std::map<QString, Event> kEvents{
    {"appeared", Event::DeviceAppeared}, {"vanished", Event::DeviceVanished}, {"opened", Event::Opened},
    {"unopenable", Event::OpenFailed},   {"answered", Event::Answered},       {"talks", Event::Talks},
    {"quiet", Event::Quiet},             {"newboard", Event::NewBoard},       {"passed", Event::RunPassed},
    {"failed", Event::RunFailed},        {"tick", Event::Tick},
};

} // namespace

class TestStation : public QObject {
    Q_OBJECT
private slots:
    void machine_data();
    void machine();
    void stableName_data();
    void stableName();
    void linkChainOnRealLinks();
};

// `script`: "SECONDS EVENT" steps, ',' between; `states`: the state after each step.
void TestStation::machine_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("states");
    QTest::addColumn<int>("unit");      // at the end
    QTest::addColumn<bool>("passed");   // at the end
    QTest::newRow("a device appears, a unit answers and runs")
        << "0 appeared, 0 opened, 1 answered, 2 passed" << "waiting waiting running left" << 1 << true;
    QTest::newRow("a device that vanishes before any unit")
        << "0 appeared, 1 vanished, 2 appeared" << "waiting no-device waiting" << 0 << false;
    QTest::newRow("a port that cannot be opened is waited for")
        << "0 appeared, 0 unopenable, 3 unopenable, 4 opened, 5 answered" << "waiting waiting waiting waiting running" << 1 << false;
    QTest::newRow("a failed unit is left, then gone once quiet")
        << "0 appeared, 0 answered, 1 failed, 2 talks, 5 quiet, 5 tick" << "waiting running left left gone waiting" << 1 << false;
    QTest::newRow("a jiggle of 0.6 s is the same unit")
        << "0 appeared, 0 answered, 1 passed, 2 vanished, 2.6 appeared, 2.7 talks, 6 tick"
        << "waiting running left left left left left" << 1 << true;
    QTest::newRow("missing for the gone limit: gone, seen at the next look")
        << "0 appeared, 0 answered, 1 passed, 2 vanished, 3 tick, 4 tick, 4 tick" << "waiting running left left left gone no-device"
        << 1 << true;
    QTest::newRow("back after the gone limit: gone, and the next unit waited for")
        << "0 appeared, 0 answered, 1 passed, 2 vanished, 4.5 appeared, 4.5 tick" << "waiting running left left gone waiting" << 1
        << true;
    QTest::newRow("gone, then the device goes") << "0 appeared, 0 answered, 1 passed, 4 quiet, 4 vanished"
                                                << "waiting running left gone no-device" << 1 << true;
    QTest::newRow("a new board told by its state runs at once as the next unit")
        << "0 appeared, 0 answered, 1 passed, 2.5 newboard, 3 failed" << "waiting running left running left" << 2 << false;
    QTest::newRow("a port claimed after a unit leaves it the same unit")
        << "0 appeared, 0 answered, 1 passed, 1 unopenable, 4 unopenable, 4 opened, 4.5 answered"
        << "waiting running left left left left left" << 1 << true;
    QTest::newRow("a unit's device going during its run: gone after the run if not back")
        << "0 appeared, 0 answered, 0.5 vanished, 1 failed, 2 tick, 3.1 tick" << "waiting running running left left gone" << 1 << false;
    QTest::newRow("events a state has no row for change nothing")
        << "0 talks, 0 passed, 0 appeared, 0 talks, 0 quiet, 0 newboard" << "no-device no-device waiting waiting waiting waiting" << 0
        << false;
}

void TestStation::machine()
{
    QFETCH(QString, script);
    QFETCH(QString, states);
    QFETCH(int, unit);
    QFETCH(bool, passed);
    Machine m(kGoneLimit);
    QStringList seen;
    int changes = 0;
    State last = m.Current();
    for (const QString& step : script.split(u',')) {
        const QStringList parts = step.trimmed().split(u' ');
        QVERIFY2(parts.size() == 2 && kEvents.count(parts[1]), qPrintable(step));
        const auto change = m.On(kEvents.at(parts[1]), parts[0].toDouble());
        // A change is told exactly when the state moved, with where it came from.
        QCOMPARE(change.has_value(), m.Current() != last);
        if (change) {
            QCOMPARE(change->from, last);
            QCOMPARE(change->to, m.Current());
            QCOMPARE(change->unit, m.Unit());
            ++changes;
        }
        last = m.Current();
        seen << QString::fromLatin1(Name(m.Current())).replace(u' ', u'-');
    }
    QCOMPARE(seen.join(u' '), states);
    QCOMPARE(m.Unit(), unit);
    QCOMPARE(m.Passed(), passed);
    QVERIFY(changes > 0 || states.startsWith(u"no-device"));
}

// `chain`: the links from the port's name to its node; `byPath`: the
// system's socket aliases, "ALIAS>NODE" with ';' between.
void TestStation::stableName_data()
{
    QTest::addColumn<QStringList>("chain");
    QTest::addColumn<QString>("byPath");
    QTest::addColumn<QString>("name");
    const QString socket = QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0");
    QTest::newRow("an adapter's node with a socket alias: the socket")
        << QStringList{"/dev/ttyUSB0"} << socket + ">/dev/ttyUSB0" << socket;
    QTest::newRow("a ports folder's entry to a node with a socket alias: the socket")
        << QStringList{"/home/op/.config/varnexconfig/ports/com1", "/dev/ttyACM0"} << socket + ">/dev/ttyACM0" << socket;
    QTest::newRow("a by-id name (the board's own serial) with a socket alias: the socket")
        << QStringList{"/dev/serial/by-id/usb-u-blox_GNSS-if00", "/dev/ttyACM1"} << socket + ">/dev/ttyACM1" << socket;
    QTest::newRow("another node's alias is not taken")
        << QStringList{"/dev/ttyUSB1"} << socket + ">/dev/ttyUSB0" << "/dev/ttyUSB1";
    QTest::newRow("a ports folder's entry, no socket alias: the entry")
        << QStringList{"/p/com1", "/dev/pts/3"} << "" << "/p/com1";
    QTest::newRow("an entry leading to a udev link: the last link before the node")
        << QStringList{"/p/com1", "/dev/gps-station-1", "/dev/ttyACM0"} << "" << "/dev/gps-station-1";
    QTest::newRow("a dangling entry (the board pulled): the entry, to be followed")
        << QStringList{"/p/com1", "/dev/ttyACM0"} << "" << "/p/com1";
    QTest::newRow("a node with no alias: the node itself") << QStringList{"/dev/ttyS0"} << "" << "/dev/ttyS0";
}

void TestStation::stableName()
{
    QFETCH(QStringList, chain);
    QFETCH(QString, byPath);
    QFETCH(QString, name);
    QList<QPair<QString, QString>> aliases;
    for (const QString& alias : byPath.split(u';', Qt::SkipEmptyParts))
        aliases.append({alias.section(u'>', 0, 0), alias.section(u'>', 1)});
    QCOMPARE(MostStable(chain, aliases), name);
}

// The chain is read off the file system as it is: a ports folder's entry to
// a udev-like link to a node, the same with the node gone, and a loop.
void TestStation::linkChainOnRealLinks()
{
    QTemporaryDir dir;
    const QString node = dir.filePath("ttyACM0"), stable = dir.filePath("gps-station-1"), entry = dir.filePath("com1");
    QVERIFY(QFile(node).open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(node, stable) && QFile::link(stable, entry));
    QCOMPARE(LinkChain(entry), (QStringList{entry, stable, node}));
    QCOMPARE(StableNameOf(entry), stable);
    QVERIFY(QFile::remove(node)); // the board pulled: the chain still ends where it leads
    QCOMPARE(LinkChain(entry), (QStringList{entry, stable, node}));
    QCOMPARE(StableNameOf(entry), stable);
    const QString a = dir.filePath("a"), b = dir.filePath("b");
    QVERIFY(QFile::link(b, a) && QFile::link(a, b));
    QCOMPARE(LinkChain(a), (QStringList{a, b}));
}

QTEST_GUILESS_MAIN(TestStation)
#include "test_station.moc"
