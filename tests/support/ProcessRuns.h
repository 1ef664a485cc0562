#pragma once

#include <QFile>
#include <QList>

// Whether process `pid` still runs: a zombie, ended and not yet reaped, does not.
inline bool processRuns(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return pid > 0 && stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
}

// The process ids a script noted in a file, one a line.
inline QList<qint64> notedProcesses(const QByteArray& file)
{
    QList<qint64> pids;
    for (const QByteArray& line : file.split('\n')) {
        if (!line.trimmed().isEmpty())
            pids << line.trimmed().toLongLong();
    }
    return pids;
}
