// Tries to open the serial port named by its argument the way a second
// program would, and prints "free" when it could, else "busy: <reason>".
#include <QCoreApplication>
#include <QSerialPort>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    if (port.open(QIODevice::ReadWrite))
        std::puts("free");
    else
        std::printf("busy: %s\n", qPrintable(port.errorString()));
    return 0;
}
