#include "TempRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TempRoot::TempRoot()
    : m_previous(qgetenv("KOVA3_ROOT"))
    , m_hadPrevious(qEnvironmentVariableIsSet("KOVA3_ROOT"))
{
    m_root = qEnvironmentVariable(kSharedRootVariable);
    if (m_root.isEmpty()) {
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->path();
    }
    qputenv("KOVA3_ROOT", m_root.toLocal8Bit());
}

TempRoot::~TempRoot()
{
    if (m_hadPrevious)
        qputenv("KOVA3_ROOT", m_previous);
    else
        qunsetenv("KOVA3_ROOT");
}

QString TempRoot::writeFile(const QString& logical, const QByteArray& content) const
{
    const QString physical = path(logical);
    QDir().mkpath(QFileInfo(physical).path());
    QFile file(physical);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
    return physical;
}

QString TempRoot::copyFile(const QString& source, const QString& logical) const
{
    QFile file(source);
    return writeFile(logical, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
}

QString TempRoot::writeScript(const QString& logical, const QByteArray& body) const
{
    const QString physical = writeFile(logical, "#!/bin/sh\n" + body);
    QFile::setPermissions(physical, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                        | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    return physical;
}

QByteArray TempRoot::readFile(const QString& logical) const
{
    QFile file(path(logical));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
