#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

// Every entry under a folder by its relative path: kind, mode and content
// (or link target), so that two snapshots are equal only for a tree that is
// the same byte for byte.
inline QMap<QString, QString> folderSnapshot(const QString& folder)
{
    QMap<QString, QString> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        const QString mode = QString::number(static_cast<int>(QFile::permissions(entry.filePath())), 16);
        QString value;
        if (entry.isSymLink()) {
            value = QStringLiteral("link ") + entry.symLinkTarget();
        } else if (entry.isDir()) {
            value = QStringLiteral("folder ") + mode;
        } else {
            QFile file(entry.filePath());
            file.open(QIODevice::ReadOnly);
            value = QStringLiteral("file %1 %2").arg(mode, QString::fromLatin1(
                QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex()));
        }
        entries.insert(QDir(folder).relativeFilePath(entry.filePath()), value);
    }
    return entries;
}
