#pragma once

#include <QList>
#include <QString>

// Where PC port N lives.
// - Windows: COMN.
// - Elsewhere, when the ports folder exists ($VARNEXCONFIG_PORTS if set, else
//   $XDG_CONFIG_HOME/varnexconfig/ports, i.e. ~/.config/varnexconfig/ports):
//   its entry "comN", usually a symbolic link such as com1 -> /dev/ttyUSB0.
//   The folder then decides the whole mapping.
// - Elsewhere without that folder: the N-th of the serial ports the system
//   reports, in the order of Order() below, so a USB adapter plugged into a
//   machine without any setup is port 1.
namespace PortNames {

// The window lists ports 1 to 8 and the mapping never goes beyond.
inline constexpr int kMaxPorts = 8;

// One serial port as the system reports it.
struct SystemPort {
    QString name;        // "ttyUSB0"
    QString path;        // "/dev/ttyUSB0"
    QString byIdName;    // "usb-FTDI_FT232R_USB_UART_A1234567-if00-port0"; empty when none
    QString description; // "FT232R USB UART"; empty when the system says nothing
    bool usb = false;    // a USB serial adapter or USB modem (ttyUSB*, ttyACM*)
    bool noUart = false; // the kernel knows the port but has no UART behind it
};

// One PC port number and where it leads.
struct Entry {
    int number = 0;      // 1 for the first port
    QString path;        // the device; a ports folder entry's resolved target
    QString description; // what the system says about the device; may be empty
};

// The system's ports in PC port order (first element = port 1), at most
// kMaxPorts: USB ports first, those with a /dev/serial/by-id name sorted by
// that name, then the rest by device name; then the other (on-board) ports
// that have a UART behind them, by device name. Device names compare with
// their trailing numbers as numbers (ttyS2 before ttyS10).
QList<SystemPort> Order(QList<SystemPort> ports);

// The serial ports the system reports now (Qt's port list, completed with the
// /dev/serial/by-id names and the kernel's view of each port), unordered.
QList<SystemPort> SystemPorts();

QString PortsFolder();

// The whole current mapping, ascending by number, only numbers that lead
// somewhere, at most up to kMaxPorts. Whether a port can be opened is not
// checked.
QList<Entry> Mapping();

// "/dev/ttyUSB0 — FT232R USB UART", or the path alone without a description.
QString Summary(const Entry& entry);

// The device path of PC port `number`; empty below 1 or when nothing is
// mapped to that number. For a ports folder entry, the entry's own absolute
// path (QSerialPort opens through the link).
QString PathFor(int number);

// A name for PC port `number` that keeps leading to the same device while
// other devices come and go, for a program that uses the port for a long time:
// on Windows COMN; with the ports folder (`portsFolder` not empty) its entry
// comN, as the folder decides the mapping; otherwise the device's
// /dev/serial/by-id name when it has one (a USB adapter's name after its
// vendor, model and serial number), else its device path. Empty when nothing
// is mapped to that number. `system` is the system's ports, unordered.
QString StableNameFor(int number, const QString& portsFolder, const QList<SystemPort>& system);
// The same over the ports folder if it exists and the system's ports now.
QString StableName(int number);

// Why `path` could not be opened, in the operator's words: a port held by
// another program says so (Qt reports it as a locking error); `error` is the
// serial control's text.
QString OpenFailure(const QString& path, const QString& error);

} // namespace PortNames
