#include "link/PortNames.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>
#include <tuple>

namespace PortNames {

namespace {

// Splits "ttyS10" into ("ttyS", 10) so that ttyS2 sorts before ttyS10.
std::tuple<QString, qlonglong, QString> NameKey(const QString& name)
{
    qsizetype digits = name.size();
    while (digits > 0 && name[digits - 1].isDigit())
        --digits;
    const qlonglong number = digits < name.size() ? name.mid(digits).toLongLong() : -1;
    return {name.left(digits), number, name};
}

// USB ports with a by-id name, USB ports without one, then on-board ports.
int Group(const SystemPort& port)
{
    if (!port.usb)
        return 2;
    return port.byIdName.isEmpty() ? 1 : 0;
}

bool ComesFirst(const SystemPort& a, const SystemPort& b)
{
    if (Group(a) != Group(b))
        return Group(a) < Group(b);
    if (Group(a) == 0 && a.byIdName != b.byIdName)
        return a.byIdName < b.byIdName;
    return NameKey(a.name) < NameKey(b.name);
}

// Device path -> the name of its entry in /dev/serial/by-id (udev names USB
// serial devices there after vendor, model and serial number, so the name
// stays the same whichever ttyUSB number the device got this time).
QHash<QString, QString> ByIdNames()
{
    QHash<QString, QString> names;
    QDirIterator entries(QStringLiteral("/dev/serial/by-id"), QDir::System | QDir::Files);
    while (entries.hasNext()) {
        const QFileInfo link(entries.next());
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty())
            names.insert(target, link.fileName());
    }
    return names;
}

QString SysfsTty(const QString& name) { return QStringLiteral("/sys/class/tty/") + name; }

// Whether the port's device sits on a USB bus (its sysfs path runs through
// .../usbN/...). Qt reports a vendor id for most USB devices but not for all,
// e.g. when it enumerates without udev.
bool OnUsbBus(const QString& name)
{
    static const QRegularExpression usbBus(QStringLiteral("/usb\\d+/"));
    return QFileInfo(SysfsTty(name) + QStringLiteral("/device")).canonicalFilePath().contains(usbBus);
}

// The kernel's UART type of a port driven by the serial core (8250, PL011,
// ...), -1 for other ports or when unknown. Linux registers ttyS0..ttyS3 (or
// more) whether or not a UART answers at their addresses and reports type 0
// (PORT_UNKNOWN) for those with nothing behind them. Qt 6.4 drops such ports
// itself only when their parent driver is named "serial8250" (kernels from 6.5
// name it "port") and then only by opening each one; the description is no
// help either, as real on-board ports usually have none. The type file is
// readable by every user, so it tells the two apart without opening anything.
int KernelUartType(const QString& name)
{
    QFile file(SysfsTty(name) + QStringLiteral("/type"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const int type = file.readAll().trimmed().toInt(&ok);
    return ok ? type : -1;
}

QString DescriptionOf(const QString& path, const QList<SystemPort>& ports)
{
    for (const SystemPort& port : ports)
        if (port.path == path)
            return port.description;
    return QString();
}

QString FolderEntryName(int number) { return QStringLiteral("com%1").arg(number); }

QList<Entry> FolderMapping(const QDir& folder)
{
    QList<Entry> entries;
    QList<SystemPort> system;
    bool systemRead = false;
    for (int n = 1; n <= kMaxPorts; ++n) {
        const QFileInfo link(folder.absoluteFilePath(FolderEntryName(n)));
        if (!link.exists() && !link.isSymLink())
            continue;
        // A dangling link still says where the port is expected.
        QString target = link.canonicalFilePath();
        if (target.isEmpty())
            target = link.symLinkTarget();
        if (!systemRead) {
            system = SystemPorts();
            systemRead = true;
        }
        entries.append(Entry{n, target, DescriptionOf(target, system)});
    }
    return entries;
}

QList<Entry> SystemMapping()
{
    const QList<SystemPort> ports = Order(SystemPorts());
    QList<Entry> entries;
    for (qsizetype i = 0; i < ports.size(); ++i)
        entries.append(Entry{int(i + 1), ports[i].path, ports[i].description});
    return entries;
}

#ifdef _WIN32
QList<Entry> ComMapping()
{
    QList<Entry> entries;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString name = info.portName();
        if (!name.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive))
            continue;
        bool ok = false;
        const int number = name.mid(3).toInt(&ok);
        if (ok && number >= 1 && number <= kMaxPorts)
            entries.append(Entry{number, name, info.description()});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.number < b.number; });
    return entries;
}
#endif

} // namespace

// On-board rule: a port that is not on USB counts unless the kernel reports
// no UART behind it (see KernelUartType). Ports outside the serial core
// (Bluetooth rfcomm, USB gadget ttyGS) exist only while bound or connected,
// so they count too.
QList<SystemPort> Order(QList<SystemPort> ports)
{
    ports.removeIf([](const SystemPort& port) { return !port.usb && port.noUart; });
    std::sort(ports.begin(), ports.end(), ComesFirst);
    if (ports.size() > kMaxPorts)
        ports.resize(kMaxPorts);
    return ports;
}

QList<SystemPort> SystemPorts()
{
    const QHash<QString, QString> byId = ByIdNames();
    QList<SystemPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SystemPort port;
        port.name = info.portName();
        port.path = info.systemLocation();
        port.byIdName = byId.value(port.path);
        port.description = info.description();
        port.usb = info.hasVendorIdentifier() || OnUsbBus(port.name);
        port.noUart = KernelUartType(port.name) == 0;
        ports.append(port);
    }
    return ports;
}

QString PortsFolder()
{
    const QString explicitFolder = qEnvironmentVariable("VARNEXCONFIG_PORTS");
    if (!explicitFolder.isEmpty())
        return explicitFolder;
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/varnexconfig/ports");
}

QList<Entry> Mapping()
{
#ifdef _WIN32
    return ComMapping();
#else
    const QDir folder(PortsFolder());
    return folder.exists() ? FolderMapping(folder) : SystemMapping();
#endif
}

QString Summary(const Entry& entry)
{
    if (entry.description.isEmpty())
        return entry.path;
    return QStringLiteral("%1 \u2014 %2").arg(entry.path, entry.description);
}

QString PathFor(int number)
{
    if (number < 1)
        return QString();
#ifdef _WIN32
    return QStringLiteral("COM%1").arg(number);
#else
    const QDir folder(PortsFolder());
    if (folder.exists())
        // QSerialPort reads a name without a leading '/' as a name under /dev.
        return folder.absoluteFilePath(FolderEntryName(number));
    if (number > kMaxPorts)
        return QString();
    const QList<SystemPort> ports = Order(SystemPorts());
    return number <= ports.size() ? ports[number - 1].path : QString();
#endif
}

QString StableNameFor(int number, const QString& portsFolder, const QList<SystemPort>& system)
{
    if (number < 1)
        return QString();
#ifdef _WIN32
    Q_UNUSED(portsFolder);
    Q_UNUSED(system);
    return QStringLiteral("COM%1").arg(number);
#else
    if (!portsFolder.isEmpty())
        return QDir(portsFolder).absoluteFilePath(FolderEntryName(number));
    const QList<SystemPort> ports = Order(system);
    if (number > ports.size())
        return QString();
    const SystemPort& port = ports[number - 1];
    return port.byIdName.isEmpty() ? port.path : QStringLiteral("/dev/serial/by-id/") + port.byIdName;
#endif
}

QString StableName(int number)
{
#ifdef _WIN32
    return StableNameFor(number, QString(), {});
#else
    const QDir folder(PortsFolder());
    return folder.exists() ? StableNameFor(number, folder.absolutePath(), {}) : StableNameFor(number, QString(), SystemPorts());
#endif
}

QString OpenFailure(const QString& path, const QString& error)
{
    // QSerialPort takes the device's lock file (or, on Windows, exclusive
    // access) first: another program holding the port fails there.
    if (error.contains(QLatin1String("locking"), Qt::CaseInsensitive)
        || error.contains(QLatin1String("Access is denied"), Qt::CaseInsensitive))
        return QStringLiteral("%1 is held by another program (gpsd, ModemManager, a terminal program or another "
                              "varnexconfig): free it and try again").arg(path);
#ifndef _WIN32
    if (!path.isEmpty() && !QFileInfo::exists(path))
        return QStringLiteral("%1 does not exist (unplugged?)").arg(path);
#endif
    return error;
}

} // namespace PortNames
