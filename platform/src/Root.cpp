#include "platform/Root.h"

#include <QDir>

namespace platform {

QString instrumentRoot()
{
    // Read on every call: tests switch roots within one process.
    const QString root = qEnvironmentVariable("KOVA3_ROOT");
    if (root.isEmpty())
        return QStringLiteral("/");
    const QString clean = QDir::cleanPath(root);
    return clean.isEmpty() ? QStringLiteral("/") : clean;
}

bool isRealInstrument()
{
    return instrumentRoot() == QLatin1String("/");
}

QString rootPath(const QString& logicalPath)
{
    const QString root = instrumentRoot();
    if (root == QLatin1String("/") || !logicalPath.startsWith(QLatin1Char('/')))
        return logicalPath;
    if (logicalPath == root || logicalPath.startsWith(root + QLatin1Char('/')))
        return logicalPath;
    return root + logicalPath;
}

std::string rootPath(const std::string& logicalPath)
{
    return rootPath(QString::fromStdString(logicalPath)).toStdString();
}

}  // namespace platform
