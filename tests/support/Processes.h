#pragma once

#include <QFile>
#include <QList>

// What the tests look at of processes, through /proc.

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

// The address space process `pid` has mapped, in bytes (VmSize); 0 when unknown.
inline qint64 mappedBytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (pid <= 0 || !status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = status.readAll();
    const int at = text.indexOf("VmSize:");
    if (at < 0)
        return 0;
    return text.mid(at + 7, text.indexOf('\n', at) - at - 7).trimmed().split(' ').value(0).toLongLong() * 1024;
}
