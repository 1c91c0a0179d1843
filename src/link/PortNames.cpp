#include "link/PortNames.h"

#include <QDir>
#include <QFileInfo>

namespace PortNames {

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
        return folder.absoluteFilePath(QStringLiteral("com%1").arg(number));
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

} // namespace PortNames
