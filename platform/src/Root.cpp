#include "platform/Root.h"

#include <QDir>
#include <QStringList>

namespace platform {

namespace {

// "/a/./b/../c" → "/a/c", by the text alone (links are the root's own
// business); ".." at the top stays at the top, as the kernel reads "/..".
QString cleanAbsolute(const QString& path)
{
    QStringList parts;
    const QStringList segments = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& segment : segments) {
        if (segment == QLatin1String("."))
            continue;
        if (segment == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << segment;
    }
    return QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

}  // namespace

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
    if (root == QLatin1String("/") || logicalPath.isEmpty())
        return logicalPath;
    // A relative path counts from the logical "/", like every other path here.
    const QString clean = cleanAbsolute(QLatin1Char('/') + logicalPath);
    if (clean == root || clean.startsWith(root + QLatin1Char('/')))
        return clean;
    return clean == QLatin1String("/") ? root : root + clean;
}

std::string rootPath(const std::string& logicalPath)
{
    return rootPath(QString::fromStdString(logicalPath)).toStdString();
}

QString logicalPath(const QString& physicalPath)
{
    const QString root = instrumentRoot();
    if (root == QLatin1String("/") || physicalPath.isEmpty())
        return physicalPath;
    const QString clean = cleanAbsolute(physicalPath);
    if (clean == root)
        return QStringLiteral("/");
    if (clean.startsWith(root + QLatin1Char('/')))
        return clean.mid(root.size());
    return clean;
}

}  // namespace platform
