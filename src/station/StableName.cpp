#include "station/StableName.h"

#include <QDir>
#include <QFileInfo>

namespace Station {

QStringList LinkChain(const QString& path)
{
    QStringList chain{QFileInfo(path).absoluteFilePath()};
    // A loop of links ends the chain where it turns back.
    for (int i = 0; i < 16 && QFileInfo(chain.last()).isSymLink(); ++i) {
        const QString target = QFileInfo(chain.last()).symLinkTarget();
        if (target.isEmpty() || chain.contains(target))
            break;
        chain << target;
    }
    return chain;
}

QString MostStable(const QStringList& chain, const QList<QPair<QString, QString>>& byPath)
{
    if (chain.isEmpty())
        return {};
    const QString& node = chain.last();
    for (const auto& [alias, target] : byPath)
        if (target == node)
            return alias;
    return chain.size() >= 2 ? chain[chain.size() - 2] : node;
}

QList<QPair<QString, QString>> ByPathAliases()
{
    QList<QPair<QString, QString>> aliases;
    const QDir folder(QStringLiteral("/dev/serial/by-path"));
    for (const QFileInfo& entry : folder.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (entry.isSymLink())
            aliases.append({entry.absoluteFilePath(), entry.canonicalFilePath()});
    return aliases;
}

QString StableNameOf(const QString& path)
{
#ifdef _WIN32
    return path; // COMn is the name Windows keeps for a socket's adapter
#else
    return MostStable(LinkChain(path), ByPathAliases());
#endif
}

} // namespace Station
