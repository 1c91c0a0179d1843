// The simulator as a unit of each later generation: how it names itself and
// at which factory rate, what it refuses, the older generations' CFG-NAV5 and
// CFG-TP5, and the key store of u-blox 9 and 10 (all-or-nothing VALSET and
// its transactions, VALGET by layer and page, VALDEL, CFG-CFG between
// layers, the layers kept over a power cycle), and the output following it.
#include "SimLink.h"
#include "sim/UbxCodec.h"

#include <QtTest>

#include <set>

using namespace VarnexSim;
using namespace SimTest;

namespace {
QByteArray H(const char* hex) { return QByteArray::fromHex(hex); }
QByteArray Ack(char cls, char id) { return EncodeUbx(0x05, 0x01, QByteArray(1, cls) + id); }
QByteArray Nak(char cls, char id) { return EncodeUbx(0x05, 0x00, QByteArray(1, cls) + id); }
qint32 FactoryRate(int generation) { return generation >= 9 ? 38400 : 9600; }

QByteArray Le(quint32 v, int bytes)
{
    QByteArray b;
    for (int i = 0; i < bytes; ++i)
        b.append(char(v >> (8 * i)));
    return b;
}

// Items as id then value bytes, written out by hand: the value's size is the test's to get right.
struct Item {
    quint32 id;
    const char* value;
};
QByteArray Items(std::initializer_list<Item> items)
{
    QByteArray b;
    for (const Item& i : items)
        b += Le(i.id, 4) + H(i.value);
    return b;
}
QByteArray ValSet(quint8 layers, const QByteArray& items, int transaction = -1)
{
    const bool v1 = transaction >= 0;
    return EncodeUbx(0x06, 0x8A, QByteArray(1, char(v1 ? 1 : 0)) + char(layers) + char(v1 ? transaction : 0) + '\0' + items);
}
QByteArray ValGet(quint8 layer, std::initializer_list<quint32> ids, quint16 position = 0)
{
    QByteArray p = QByteArray(1, '\0') + char(layer) + Le(position, 2);
    for (quint32 id : ids)
        p += Le(id, 4);
    return EncodeUbx(0x06, 0x8B, p);
}
QByteArray Got(quint8 layer, const QByteArray& items)
{
    return EncodeUbx(0x06, 0x8B, QByteArray(1, '\1') + char(layer) + Le(0, 2) + items) + Ack(0x06, 0x8B);
}
QByteArray ValDel(quint8 layers, std::initializer_list<quint32> ids)
{
    QByteArray p = QByteArray(1, '\0') + char(layers) + Le(0, 2);
    for (quint32 id : ids)
        p += Le(id, 4);
    return EncodeUbx(0x06, 0x8C, p);
}

constexpr quint32 kMeas = 0x30210001;   // CFG-RATE-MEAS, U2 ms
constexpr quint32 kNav = 0x30210002;    // CFG-RATE-NAV, U2
constexpr quint32 kTimeRef = 0x20210003; // CFG-RATE-TIMEREF, E1
constexpr quint32 kUnknown = 0x30210077; // no such item
constexpr quint8 kRam = 0x01, kBbr = 0x02, kFlash = 0x04;
const QByteArray kLoad = EncodeUbx(0x06, 0x09, H("00000000 00000000 ffffffff"));
const QByteArray kSave = EncodeUbx(0x06, 0x09, H("00000000 ffffffff 00000000"));
// The quiet running configuration saved to Flash alone (device mask bit 1), so that loads keep the line quiet.
const QByteArray kQuietToFlash = EncodeUbx(0x06, 0x09, H("00000000 ffffffff 00000000 02"));
// CFG-NAV5 as the u-blox 6 and 8 units ship it, read with every mask bit set.
const char kNav5Factory[] = "ffff 00 03 00000000 10270000 05 00 fa00 fa00 6400 5e01 00 3c 0000 0000 0000 00 0000000000";
// CFG-TP5 of the second pulse: 2 Hz, 10 ms, active, isLength, rising.
const char kTp5Second[] = "01 01 0000 0000 0000 20a10700 20a10700 10270000 10270000 00000000 51000000";

// Pairs of one VALGET reply, each value's size read from its id's bits 30..28.
std::vector<quint32> ReplyIds(const QByteArray& frame)
{
    std::vector<quint32> ids;
    const QByteArray p = frame.mid(6, quint8(frame[4]) | quint8(frame[5]) << 8);
    static const int kSize[] = {0, 1, 1, 2, 4, 8, 0, 0};
    for (int at = 4; at + 4 <= p.size();) {
        const quint32 id = quint8(p[at]) | quint8(p[at + 1]) << 8 | quint8(p[at + 2]) << 16 | quint32(quint8(p[at + 3])) << 24;
        ids.push_back(id);
        at += 4 + kSize[(id >> 28) & 7];
    }
    return ids;
}
} // namespace

class TestSimGenerations : public QObject {
    Q_OBJECT
private slots:
    void identity_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<QByteArray>("sw");
        QTest::addColumn<QByteArray>("hw");
        QTest::addColumn<QList<QByteArray>>("extensions");
        QTest::newRow("0: the unit as it was") << 0 << QByteArray("7.03 (45969)") << QByteArray("00040007")
                                               << QList<QByteArray>{};
        QTest::newRow("6") << 6 << QByteArray("7.03 (45969)") << QByteArray("00040007") << QList<QByteArray>{};
        QTest::newRow("8") << 8 << QByteArray("ROM CORE 3.01 (107888)") << QByteArray("00080000")
                           << QList<QByteArray>{"FWVER=SPG 3.01", "PROTVER=18.00", "GPS;GLO;GAL;BDS", "SBAS;IMES;QZSS"};
        QTest::newRow("9") << 9 << QByteArray("EXT CORE 1.00 (f10c36)") << QByteArray("00190000")
                           << QList<QByteArray>{"ROM BASE 0x118B2060", "FWVER=HPG 1.13", "PROTVER=27.12", "MOD=ZED-F9P",
                                                "GPS;GLO;GAL;BDS", "SBAS;QZSS"};
        QTest::newRow("10") << 10 << QByteArray("ROM SPG 5.10 (7b202e)") << QByteArray("000A0000")
                            << QList<QByteArray>{"FWVER=SPG 5.10", "PROTVER=34.10", "GPS;GLO;GAL;BDS", "SBAS;QZSS"};
    }
    // MON-VER, answered at the factory rate and not at the other usual one.
    void identity()
    {
        QFETCH(int, generation);
        QFETCH(QByteArray, sw);
        QFETCH(QByteArray, hw);
        QFETCH(QList<QByteArray>, extensions);
        QByteArray payload = sw.leftJustified(30, '\0') + hw.leftJustified(10, '\0');
        for (const QByteArray& e : extensions)
            payload += e.leftJustified(30, '\0');
        const QByteArray poll = H("B5 62 0A 04 00 00 0E 34");
        const qint32 factory = FactoryRate(generation);
        Link link({.generation = generation}, factory == 9600 ? 38400 : 9600);
        QVERIFY(link.opened);
        link.device->Write(poll);
        QVERIFY(!Listen(*link.device, 0.5).contains(H("B5 62 0A 04")));
        QVERIFY(link.device->SetBaudRate(factory));
        link.device->Write(poll);
        QCOMPARE(Listen(*link.device, 0.5), EncodeUbx(0x0A, 0x04, payload));
    }

    void refusals_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("taken");
        const QByteArray msg6 = EncodeUbx(0x06, 0x01, H("F0 00 00 01 00 01"));
        const QByteArray msg8 = EncodeUbx(0x06, 0x01, H("F0 00 00 01 00 01 00 00"));
        const QByteArray msg3 = EncodeUbx(0x06, 0x01, H("F0 00 01"));
        const QByteArray nav28 = EncodeUbx(0x06, 0x03, QByteArray(28, '\3'));
        const QByteArray tp20 = EncodeUbx(0x06, 0x07, H("40420f00 a0860100 01 00 00 00 3200 0000 00000000"));
        const QByteArray prtPoll = EncodeUbx(0x06, 0x00, H("01"));
        const QByteArray ratePoll = EncodeUbx(0x06, 0x08, {});
        const QByteArray valset = ValSet(kRam, Items({{0x10740001, "01"}})); // CFG-UART1OUTPROT-UBX
        QTest::newRow("0: four-target CFG-MSG taken") << 0 << msg6 << true;
        QTest::newRow("0: 28-byte CFG-NAV taken") << 0 << nav28 << true;
        QTest::newRow("6: four-target CFG-MSG refused") << 6 << msg6 << false;
        QTest::newRow("6: 28-byte CFG-NAV refused") << 6 << nav28 << false;
        QTest::newRow("6: 8-byte CFG-MSG taken") << 6 << msg8 << true;
        QTest::newRow("6: 3-byte CFG-MSG taken") << 6 << msg3 << true;
        QTest::newRow("6: CFG-TP taken") << 6 << tp20 << true;
        QTest::newRow("8: CFG-TP refused") << 8 << tp20 << false;
        QTest::newRow("8: CFG-TP poll refused") << 8 << EncodeUbx(0x06, 0x07, {}) << false;
        QTest::newRow("8: CFG-PRT poll taken") << 8 << prtPoll << true;
        QTest::newRow("8: VALSET refused") << 8 << valset << false;
        QTest::newRow("9: CFG-RATE poll refused") << 9 << ratePoll << false;
        QTest::newRow("9: CFG-MSG refused") << 9 << msg8 << false;
        QTest::newRow("9: CFG-NAV5 poll refused") << 9 << EncodeUbx(0x06, 0x24, {}) << false;
        QTest::newRow("9: CFG-CFG save taken") << 9 << kSave << true;
        QTest::newRow("9: a USB item taken") << 9 << ValSet(kRam, Items({{0x10780002, "01"}})) << true;
        QTest::newRow("10: CFG-PRT poll refused") << 10 << prtPoll << false;
        QTest::newRow("10: 3-byte CFG-MSG refused") << 10 << msg3 << false;
        QTest::newRow("10: CFG-TP5 poll refused") << 10 << EncodeUbx(0x06, 0x31, {}) << false;
        QTest::newRow("10: CFG-NAVX5 poll refused") << 10 << EncodeUbx(0x06, 0x23, {}) << false;
        QTest::newRow("10: a UART1 item taken") << 10 << valset << true;
        QTest::newRow("10: a USB item refused") << 10 << ValSet(kRam, Items({{0x10780002, "01"}})) << false;
        QTest::newRow("10: a UART2 item refused") << 10 << ValSet(kRam, Items({{0x40530001, "00c20100"}})) << false;
    }
    // Polls that are taken get their reply: only the ACK or NAK is compared.
    void refusals()
    {
        QFETCH(int, generation);
        QFETCH(QByteArray, sent);
        QFETCH(bool, taken);
        Link link({.generation = generation}, FactoryRate(generation));
        QVERIFY(link.opened);
        link.device->Write(sent);
        const QByteArray heard = Listen(*link.device, 0.5);
        const QByteArray nak = Nak(sent[2], sent[3]);
        if (taken)
            QVERIFY2(!heard.contains(nak) && (heard.contains(Ack(sent[2], sent[3])) || heard.startsWith(sent.left(4))),
                     heard.toHex(' ').constData());
        else
            QCOMPARE(heard, nak);
    }

    void conversation_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("heard");
        QTest::newRow("6: CFG-MSG read in the 8-byte form, SPI kept")
            << 6 << EncodeUbx(0x06, 0x01, H("F0 04 00 01 00 01 01 00")) + EncodeUbx(0x06, 0x01, H("F0 04"))
            << Ack(0x06, 0x01) + EncodeUbx(0x06, 0x01, H("F0 04 00 01 00 01 01 00"));
        QByteArray nav5 = H("0100 04 01 00000000 10270000 14 00 fa00 fa00 6400 5e01 00 3c 0000 0000 0000 00 0000000000");
        QTest::newRow("6: CFG-NAV5 applies only the fields its mask names")
            << 6 << EncodeUbx(0x06, 0x24, nav5) + EncodeUbx(0x06, 0x24, {})
            << Ack(0x06, 0x24) + EncodeUbx(0x06, 0x24, H(kNav5Factory).replace(2, 1, H("04")));
        nav5[2] = 0x01; // dynModel
        QTest::newRow("8: CFG-NAV5 platform 1 refused") << 8 << EncodeUbx(0x06, 0x24, nav5) << Nak(0x06, 0x24);
        QTest::newRow("6: CFG-TP5 set and read per pulse, in version 0")
            << 6 << EncodeUbx(0x06, 0x31, H(kTp5Second)) + EncodeUbx(0x06, 0x31, H("01")) + EncodeUbx(0x06, 0x31, {})
            << Ack(0x06, 0x31) + EncodeUbx(0x06, 0x31, H(kTp5Second).replace(1, 1, H("00")))
                   + EncodeUbx(0x06, 0x31, H("00 00 0000 3200 0000 40420f00 40420f00 a0860100 a0860100 00000000 73000000"));
        QTest::newRow("9: one unknown item: nothing applied")
            << 9 << ValSet(kRam, Items({{kMeas, "c800"}, {kUnknown, "0100"}})) + ValGet(0, {kMeas})
            << Nak(0x06, 0x8A) + Got(0, Items({{kMeas, "e803"}}));
        QTest::newRow("9: BBR only: the value not checked")
            << 9 << ValSet(kBbr, Items({{kMeas, "0000"}})) + ValGet(1, {kMeas})
            << Ack(0x06, 0x8A) + Got(1, Items({{kMeas, "0000"}}));
        QTest::newRow("9: RAM among the layers: the value checked, BBR left empty")
            << 9 << ValSet(kRam | kBbr, Items({{kMeas, "0000"}})) + ValGet(1, {kMeas})
            << Nak(0x06, 0x8A) + Nak(0x06, 0x8B);
        QTest::newRow("9: an invalid value in BBR is passed over by a load")
            << 9 << kQuietToFlash + ValSet(kBbr, Items({{kMeas, "0000"}})) + kLoad + ValGet(0, {kMeas})
            << Ack(0x06, 0x09) + Ack(0x06, 0x8A) + Ack(0x06, 0x09) + Got(0, Items({{kMeas, "e803"}}));
        QTest::newRow("10: no layer") << 10 << ValSet(0, Items({{kMeas, "c800"}})) << Nak(0x06, 0x8A);
        QByteArray many;
        for (int i = 0; i < 65; ++i)
            many += Items({{kMeas, "c800"}});
        QTest::newRow("10: 65 items in one message") << 10 << ValSet(kRam, many) + ValGet(0, {kMeas})
                                                     << Nak(0x06, 0x8A) + Got(0, Items({{kMeas, "e803"}}));
        QTest::newRow("9: a transaction acts at its end, whole")
            << 9
            << ValSet(kRam, Items({{kMeas, "c800"}}), 1) + ValSet(kRam, Items({{kNav, "0200"}}), 2)
                   + ValSet(kRam, Items({{kTimeRef, "00"}}), 3) + ValGet(0, {kMeas, kNav, kTimeRef})
            << Ack(0x06, 0x8A) + Ack(0x06, 0x8A) + Ack(0x06, 0x8A)
                   + Got(0, Items({{kMeas, "c800"}, {kNav, "0200"}, {kTimeRef, "00"}}));
        QTest::newRow("9: a VALGET inside a transaction cancels it")
            << 9
            << ValSet(kRam, Items({{kMeas, "c800"}}), 1) + ValGet(0, {kMeas}) + ValSet(kRam, Items({{kNav, "0200"}}), 3)
                   + ValGet(0, {kMeas, kNav})
            << Ack(0x06, 0x8A) + Got(0, Items({{kMeas, "e803"}})) + Nak(0x06, 0x8A)
                   + Got(0, Items({{kMeas, "e803"}, {kNav, "0100"}}));
        QTest::newRow("10: an unknown item in a transaction: only its end refused")
            << 10
            << ValSet(kRam, Items({{kMeas, "c800"}}), 1) + ValSet(kRam, Items({{kUnknown, "0100"}}), 2)
                   + ValSet(kRam, Items({{kNav, "0200"}}), 3) + ValGet(0, {kMeas, kNav})
            << Ack(0x06, 0x8A) + Ack(0x06, 0x8A) + Nak(0x06, 0x8A) + Got(0, Items({{kMeas, "e803"}, {kNav, "0100"}}));
        QTest::newRow("10: an empty Flash layer") << 10 << ValGet(2, {kMeas}) << Nak(0x06, 0x8B);
        QTest::newRow("10: an unknown item asked") << 10 << ValGet(7, {kMeas, kUnknown}) << Nak(0x06, 0x8B);
        QTest::newRow("10: Flash loaded into RAM")
            << 10 << kQuietToFlash + ValSet(kFlash, Items({{kMeas, "c800"}})) + ValGet(0, {kMeas}) + kLoad + ValGet(0, {kMeas})
            << Ack(0x06, 0x09) + Ack(0x06, 0x8A) + Got(0, Items({{kMeas, "e803"}})) + Ack(0x06, 0x09) + Got(0, Items({{kMeas, "c800"}}));
        QTest::newRow("10: deleted from Flash, the load brings Default back")
            << 10 << kQuietToFlash + ValSet(kRam | kFlash, Items({{kMeas, "c800"}})) + ValDel(kFlash, {kMeas}) + kLoad
                   + ValGet(0, {kMeas})
            << Ack(0x06, 0x09) + Ack(0x06, 0x8A) + Ack(0x06, 0x8C) + Ack(0x06, 0x09) + Got(0, Items({{kMeas, "e803"}}));
        QTest::newRow("10: deleting an unset item is fine, an unknown one is not")
            << 10 << ValDel(kBbr | kFlash, {kMeas}) + ValDel(kFlash, {kUnknown}) << Ack(0x06, 0x8C) + Nak(0x06, 0x8C);
        QTest::newRow("9: CFG-CFG save copies RAM to BBR and Flash")
            << 9 << ValSet(kRam, Items({{kMeas, "c800"}})) + kSave + ValGet(1, {kMeas}) + ValGet(2, {kMeas})
            << Ack(0x06, 0x8A) + Ack(0x06, 0x09) + Got(1, Items({{kMeas, "c800"}})) + Got(2, Items({{kMeas, "c800"}}));
        // A group named with or without its size bits; items in the order the unit lists them.
        QTest::newRow("10: the rate group, either wildcard form, from Default")
            << 10 << ValGet(7, {0x0021FFFF}) + ValGet(7, {0x3021FFFF})
            << Got(7, Items({{kMeas, "e803"}, {kNav, "0100"}, {kTimeRef, "01"}})).repeated(2);
        QTest::newRow("10: UART1 at its factory 38400") << 10 << ValGet(7, {0x40520001})
                                                        << Got(7, Items({{0x40520001, "00960000"}}));
    }
    // Frames sent one after the other to a quiet unit at its factory rate, and all it answers.
    void conversation()
    {
        QFETCH(int, generation);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, heard);
        Link link({.generation = generation}, FactoryRate(generation));
        QVERIFY(link.opened);
        link.device->Write(sent);
        QCOMPARE(Listen(*link.device, 1.0).toHex(' '), heard.toHex(' '));
    }

    void paging_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<quint32>("wildcard");
        QTest::addColumn<int>("items");
        QTest::newRow("9: all items") << 9 << 0x0FFFFFFFu << 118;
        QTest::newRow("10: all items: one UART, no USB, no raw measurements") << 10 << 0x0FFFFFFFu << 76;
        QTest::newRow("9: output rates, size bits set") << 9 << 0x2091FFFFu << 65;
        QTest::newRow("9: output rates, no size bits") << 9 << 0x0091FFFFu << 65;
        QTest::newRow("10: output rates") << 10 << 0x2091FFFFu << 36;
    }
    // A wildcard read page by page, 64 items at most a page, until refused.
    void paging()
    {
        QFETCH(int, generation);
        QFETCH(quint32, wildcard);
        QFETCH(int, items);
        Link link({.generation = generation}, FactoryRate(generation));
        QVERIFY(link.opened);
        std::set<quint32> seen;
        for (int position = 0;; position += 64) {
            link.device->Write(ValGet(0, {wildcard}, quint16(position)));
            const QByteArray heard = Listen(*link.device, 1.0);
            if (heard == Nak(0x06, 0x8B)) {
                QCOMPARE(int(seen.size()), items);
                QCOMPARE(position, (items + 63) / 64 * 64);
                return;
            }
            QVERIFY2(heard.startsWith(H("B5 62 06 8B")) && heard.endsWith(Ack(0x06, 0x8B)), heard.toHex(' ').left(80));
            QCOMPARE(heard.mid(6, 4), H("01 00") + Le(quint16(position), 2));
            const std::vector<quint32> ids = ReplyIds(heard.chopped(10));
            QCOMPARE(int(ids.size()), std::min(64, items - position));
            seen.insert(ids.begin(), ids.end());
            QCOMPARE(int(seen.size()), position + int(ids.size())); // no item twice
            QVERIFY(position < 64 * 4);
        }
    }

    void output_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("gone");
        QTest::addColumn<QByteArray>("kept"); // empty: nothing heard at all
        QTest::newRow("6: CFG-MSG turns GGA off on UART1")
            << 6 << EncodeUbx(0x06, 0x01, H("F0 00 00 00 00 01 00 00")) << QByteArray("$GPGGA") << QByteArray("$GPRMC");
        QTest::newRow("10: the UART1 GGA rate item") << 10 << ValSet(kRam, Items({{0x209100bb, "00"}}))
                                                     << QByteArray("$GPGGA") << QByteArray("$GPRMC");
        QTest::newRow("9: NMEA output off on UART1") << 9 << ValSet(kRam, Items({{0x10740002, "00"}}))
                                                     << QByteArray("$GP") << QByteArray();
        QTest::newRow("9: GGA to Flash only: still out") << 9 << ValSet(kFlash, Items({{0x209100bb, "00"}}))
                                                         << QByteArray("$GPZDA") << QByteArray("$GPGGA");
    }
    // The factory NMEA output, then what one configuration change leaves of it.
    void output()
    {
        QFETCH(int, generation);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, gone);
        QFETCH(QByteArray, kept);
        Link link({.generation = generation}, FactoryRate(generation), false);
        QVERIFY(link.opened);
        const QByteArray before = Listen(*link.device, 2.0);
        QVERIFY(before.contains("$GPGGA") && before.contains("$GPRMC") && before.contains("$GPVTG"));
        link.device->Write(sent);
        QVERIFY(Listen(*link.device, 0.5).contains(Ack(sent[2], sent[3])));
        const QByteArray after = Listen(*link.device, 3.0);
        QVERIFY2(!after.contains(gone), after.left(200).constData());
        if (kept.isEmpty())
            QCOMPARE(after, QByteArray());
        else
            QVERIFY2(after.contains(kept), after.left(200).constData());
    }

    // BBR and Flash kept over a power cycle and in the image file, RAM from
    // them by priority over Default; RAM alone is lost.
    void powerCycle()
    {
        QTemporaryDir dir;
        const ModelOptions options{.generation = 9, .flashPath = dir.filePath("flash.json")};
        Link link(options, 38400);
        QVERIFY(link.opened);
        link.device->Write(ValSet(kBbr, Items({{kMeas, "c800"}})) + ValSet(kFlash, Items({{kMeas, "f401"}, {kNav, "0200"}}))
                           + ValSet(kRam, Items({{kTimeRef, "00"}})));
        QCOMPARE(Listen(*link.device, 0.5), Ack(0x06, 0x8A).repeated(3));
        QCOMPARE(link.model->Running().timeRef, quint16(0));
        link.model->PowerCycle(Clock::Now());
        const ReceiverModel fromFile(options, Clock::Now());
        for (const ReceiverModel* model : {static_cast<const ReceiverModel*>(link.model.get()), &fromFile}) {
            QCOMPARE(model->Running().measRateMs, quint16(200)); // BBR over Flash
            QCOMPARE(model->Running().navRate, quint16(2));
            QCOMPARE(model->Running().timeRef, quint16(1));
            QCOMPARE(model->FlashConfig().measRateMs, quint16(500));
        }
    }
};

QTEST_MAIN(TestSimGenerations)
#include "test_sim_generations.moc"
