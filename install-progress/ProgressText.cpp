#include "ProgressText.h"

#include <QProcess>

const QRegularExpression kTaskLine(QStringLiteral("=== (.+) ==="));

QString formatElapsed(unsigned int seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

namespace {

qint64 waiting(QProcess& process, QProcess::ProcessChannel channel)
{
    const QProcess::ProcessChannel current = process.readChannel();
    process.setReadChannel(channel);
    const qint64 bytes = process.bytesAvailable();
    process.setReadChannel(current);
    return bytes;
}

bool lineWaits(QProcess& process)
{
    return process.canReadLine() || waiting(process, QProcess::StandardOutput) >= kMaxScriptLineBytes
        || waiting(process, QProcess::StandardError) >= kMaxScriptLineBytes;
}

}  // namespace

void readScriptOutput(QProcess& process, const std::function<void(const QByteArray&)>& onError,
                      const std::function<void(const QString&)>& onLine, bool ended)
{
    while (lineWaits(process)) {
        const QByteArray error = process.readAllStandardError();
        if (!error.isEmpty())
            onError(error);
        else
            onLine(QString::fromUtf8(process.readLine(kMaxScriptLineBytes + 1)));
    }
    if (!ended || !process.isOpen())  // a script that never started said nothing
        return;
    const QByteArray error = process.readAllStandardError();
    if (!error.isEmpty())
        onError(error);
}
