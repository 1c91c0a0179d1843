// PC port numbers: the order of the system's own ports, over records shaped
// like those real machines report, and a ports folder that overrides them.
#include "harness/PtyPair.h"
#include "link/PortNames.h"

#include <QFile>
#include <QtTest>

using PortNames::SystemPort;
Q_DECLARE_METATYPE(SystemPort)

namespace {
SystemPort Usb(const char* name, const char* byId, const char* description)
{
    return {QString::fromLatin1(name), QStringLiteral("/dev/") + QLatin1String(name), QString::fromLatin1(byId),
            QString::fromLatin1(description), true, false};
}
SystemPort OnBoard(const char* name, bool uart, const char* description = "")
{
    return {QString::fromLatin1(name), QStringLiteral("/dev/") + QLatin1String(name), QString(),
            QString::fromLatin1(description), false, !uart};
}

const SystemPort kFtdiA = Usb("ttyUSB1", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "FT232R USB UART");
const SystemPort kFtdiB = Usb("ttyUSB0", "usb-FTDI_FT232R_USB_UART_B001K6DQ-if00-port0", "FT232R USB UART");
const SystemPort kUblox = Usb("ttyACM0", "usb-u-blox_AG_-_www.u-blox.com_u-blox_GNSS_receiver-if00",
                              "u-blox GNSS receiver");
// Enumerated without udev: no by-id name.
const SystemPort kProlific = Usb("ttyUSB2", "", "USB-Serial Controller");
const SystemPort kS0 = OnBoard("ttyS0", true);
const SystemPort kS1 = OnBoard("ttyS1", false);
const SystemPort kS2 = OnBoard("ttyS2", false);
const SystemPort kS3 = OnBoard("ttyS3", false);
} // namespace

class TestPortNames : public QObject {
    Q_OBJECT
private slots:
    void order_data();
    void order();
    void portsFolderOverridesSystem();
};

void TestPortNames::order_data()
{
    QTest::addColumn<QList<SystemPort>>("reported");
    QTest::addColumn<QStringList>("ports"); // device names of port 1, 2, ...

    QTest::newRow("two FTDI adapters and an on-board port: by-id serial decides, not ttyUSB number")
        << QList<SystemPort>{kS0, kFtdiB, kFtdiA} << QStringList{"ttyUSB1", "ttyUSB0", "ttyS0"};
    QTest::newRow("u-blox ACM device on a laptop: empty on-board ports left out")
        << QList<SystemPort>{kS3, kS2, kUblox, kS1, kS0} << QStringList{"ttyACM0", "ttyS0"};
    QTest::newRow("laptop without any UART") << QList<SystemPort>{OnBoard("ttyS0", false), kS1, kS2, kS3}
                                             << QStringList{};
    QTest::newRow("USB with by-id before USB without, then on-board")
        << QList<SystemPort>{kS0, kProlific, kUblox, kFtdiA} << QStringList{"ttyUSB1", "ttyACM0", "ttyUSB2", "ttyS0"};
    QTest::newRow("device numbers compare as numbers")
        << QList<SystemPort>{OnBoard("ttyS10", true), OnBoard("ttyS2", true, "16550A-compatible COM port"),
                             Usb("ttyUSB10", "", ""), Usb("ttyUSB9", "", "")}
        << QStringList{"ttyUSB9", "ttyUSB10", "ttyS2", "ttyS10"};
    QTest::newRow("Bluetooth and PCI card ports count as on-board with hardware")
        << QList<SystemPort>{OnBoard("rfcomm0", true), OnBoard("ttyS4", true, "OX16PCI954 (Quad 16950 UART)"), kFtdiB}
        << QStringList{"ttyUSB0", "rfcomm0", "ttyS4"};

    QList<SystemPort> many{kS0};
    for (int i = 9; i >= 0; --i)
        many.append(Usb(qPrintable(QStringLiteral("ttyUSB%1").arg(i)), "", ""));
    QTest::newRow("eleven ports: the first eight are kept")
        << many << QStringList{"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3", "ttyUSB4", "ttyUSB5", "ttyUSB6", "ttyUSB7"};
}

void TestPortNames::order()
{
    QFETCH(QList<SystemPort>, reported);
    QFETCH(QStringList, ports);
    QStringList names;
    for (const SystemPort& port : PortNames::Order(reported))
        names << port.name;
    QCOMPARE(names, ports);
}

void TestPortNames::portsFolderOverridesSystem()
{
    TempPortsFolder folder;
    // An existing but empty folder maps nothing, whatever the system has.
    QVERIFY(PortNames::Mapping().isEmpty());
    QCOMPARE(PortNames::PathFor(1), folder.Path() + QStringLiteral("/com1"));

    PtyPair first, third;
    QVERIFY(first.MapAs(folder.Path(), 1));
    QVERIFY(third.MapAs(folder.Path(), 3));
    const QString unplugged = folder.Path() + QStringLiteral("/unplugged-ttyUSB0");
    QVERIFY(QFile::link(unplugged, folder.Path() + QStringLiteral("/com2")));
    QVERIFY(QFile::link(third.SlavePath(), folder.Path() + QStringLiteral("/com9")));

    // Numbers 1 to 8 only, each with the link's target (not comN); a pty has no description.
    QStringList mapped;
    for (const PortNames::Entry& e : PortNames::Mapping())
        mapped << QStringLiteral("%1 %2").arg(e.number).arg(PortNames::Summary(e));
    QCOMPARE(mapped, QStringList({"1 " + first.SlavePath(), "2 " + unplugged, "3 " + third.SlavePath()}));
    QCOMPARE(PortNames::PathFor(3), folder.Path() + QStringLiteral("/com3"));

    QCOMPARE(PortNames::Summary({1, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART")}),
             QStringLiteral("/dev/ttyUSB0 \u2014 FT232R USB UART"));
}

QTEST_GUILESS_MAIN(TestPortNames)
#include "test_port_names.moc"
