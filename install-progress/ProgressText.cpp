#include "ProgressText.h"

#include <QProcess>

const QRegularExpression kTaskLine(QStringLiteral("=== (.+) ==="));

QString formatElapsed(unsigned int seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void readScriptOutput(QProcess& process, const std::function<void(const QByteArray&)>& onError,
                      const std::function<void(const QString&)>& onLine)
{
    while (process.canReadLine()) {
        const QByteArray error = process.readAllStandardError();
        if (!error.isEmpty())
            onError(error);
        else
            onLine(QString::fromUtf8(process.readLine()));
    }
}
