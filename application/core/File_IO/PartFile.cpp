#include "File_IO/PartFile.h"

#include "platform/Log.h"

#include <QFile>

#include <cstdio>

QString partPath(const QString& target)
{
    return target + QStringLiteral(".part");
}

bool commitPart(const QString& part, const QString& target)
{
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    KLOG << "cannot replace" << target;
    QFile::remove(part);
    return false;
}
