#include "Calibration/FileSnapshot.h"

#include "platform/Root.h"
#include "platform/SaveFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace {

QString reason(const QFileDevice& file, const QString& path)
{
    return QStringLiteral("%1: %2").arg(path, file.errorString());
}

}  // namespace

bool FileSnapshot::take(const std::vector<std::string>& logicalPaths, QString* error)
{
    m_kept.clear();
    for (const std::string& logical : logicalPaths) {
        const QString path = platform::rootPath(QString::fromStdString(logical));
        const QFileInfo info(path);
        if (!info.exists()) {
            m_kept.push_back({path, std::nullopt});
            continue;
        }
        if (!info.isFile())
            continue;
        QFile file(path);
        const bool opened = file.open(QIODevice::ReadOnly);
        const QByteArray bytes = opened ? file.readAll() : QByteArray();
        if (!opened || file.error() != QFileDevice::NoError) {
            if (error)
                *error = QStringLiteral("cannot keep ") + reason(file, path);
            return false;
        }
        m_kept.push_back({path, bytes});
    }
    return true;
}

bool FileSnapshot::restore(QString* error) const
{
    QStringList reasons;
    for (const Kept& kept : m_kept) {
        QString why;
        if (!restore(kept, &why))
            reasons << why;
    }
    if (error && !reasons.isEmpty())
        *error = QStringLiteral("cannot put back ") + reasons.join(QStringLiteral("; "));
    return reasons.isEmpty();
}

bool FileSnapshot::restore(const Kept& kept, QString* error)
{
    QFile current(kept.path);
    if (!kept.bytes) {
        if (!current.exists() || current.remove())
            return true;
        *error = reason(current, kept.path);
        return false;
    }
    if (current.open(QIODevice::ReadOnly) && current.readAll() == *kept.bytes)
        return true;
    QSaveFile file(kept.path);
    if (platform::openSaveFile(file) && file.write(*kept.bytes) == kept.bytes->size() && file.commit())
        return true;
    *error = reason(file, kept.path);
    return false;
}
