// The launcher's information panel: what the settings file, the main
// program's build metadata and the system logs say about the instrument.
#include "dialog.h"
#include "ui_dialog.h"

#include "LoaderFiles.h"
#include "LoaderSettings.h"

#include "platform/CommandRunner.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <limits>

namespace {

const char* const kLogFiles[] = {
    "/var/log/messages", "/var/log/messages.1", "/var/log/kern.log",
    "/var/log/kern.log.1", "/var/log/syslog", "/var/log/syslog.1",
};
const char kRotationSettings[] = "/etc/logrotate.d/rsyslog";
const char kRestoreFolder[] = "/opt/KOVA3/restore";

// Text up to the first zero byte, as the tools' output is read.
QString latin1Text(QByteArray bytes)
{
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromLatin1(bytes);
}

// Mebibytes with one decimal; nothing measured shows as 0.0.
QString mebibytes(qint64 bytes)
{
    return QString::number(double(qMax<qint64>(bytes, 0)) / 1048576.0, 'f', 1);
}

}  // namespace

void LoaderDlg::displayInformation()
{
    if (!QFileInfo::exists(platform::rootPath(QString::fromLatin1(loader::kSettingsFile))))
        return;
    const auto text = [](const char* key, const char* defaultValue) {
        return loader::readSetting(QString::fromLatin1(key), QString::fromLatin1(defaultValue)).toString();
    };
    const auto number = [](const char* key, double defaultValue) {
        return loader::readSetting(QString::fromLatin1(key), defaultValue).toDouble();
    };

    ui->LABEL_CURRENT_VERSION->setText(text("Software/Version SW", "0.0.0")
                                       + QStringLiteral("\n(%1)").arg(getBuildDate()));
    m_strSerialNumber = text("KOVA-III/Serial", loader::kDefaultSerial);
    ui->LABEL_SERIAL_NUMBER->setText(m_strSerialNumber);
    ui->LABEL_VOLUME_FACTOR->setText(QString::asprintf("%.5f", number("KOVA-III/Volume factor", 0.48979)));
    ui->LABEL_LENS_MAGNIFICATION->setText(QString::asprintf("%.3f", number("KOVA-III/Magnification", 1.46)));
    ui->LABEL_LENS_CENTER_POSITION->setText(
        loader::readSetting(QStringLiteral("Calibration/Z reference"), 32000).toString());
    ui->LABEL_FIRMWARE_VERSION->setText(text("Software/Version FW", "-"));
    ui->LABEL_RUNQC_VERSION->setText(text("Software/Version QC", "-"));
    KLOG << "information: serial" << ui->LABEL_SERIAL_NUMBER->text() << "magnification"
         << ui->LABEL_LENS_MAGNIFICATION->text() << "volume factor" << ui->LABEL_VOLUME_FACTOR->text()
         << "QC version" << ui->LABEL_RUNQC_VERSION->text();

    const qint64 limit = size_from_rsyslog();
    const QString largest = mebibytes(max_size_for_log_files());
    ui->LABEL_CURRENT_LOG_SIZE->setText(limit < 0 ? QStringLiteral("%1 MB (Unknown)").arg(largest)
                                                  : QStringLiteral("%1 MB (%2 MB)").arg(largest, mebibytes(limit)));
}

QString LoaderDlg::getBuildDate()
{
    const QString program = QStringLiteral("%1/%2").arg(QLatin1String(loader::kBinFolder), QStringLiteral("KOVA3.app"));
    const platform::CommandResult dump = platform::CommandRunner::run(
        QStringLiteral("readelf"), {QStringLiteral("-pZX_META"), platform::rootPath(program)});

    bool found = false;
    qulonglong seconds = 0;
    for (const QString& line : latin1Text(dump.standardOutput).split(QLatin1Char('\n'))) {
        if (!line.contains(QLatin1String("BUILD_DATE")))
            continue;
        found = true;
        seconds = line.section(QLatin1Char('='), 1, 1).toULongLong();
    }
    if (!found)
        return QStringLiteral("-");
    return QDateTime::fromSecsSinceEpoch(qint64(seconds)).toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

qint64 LoaderDlg::size_from_rsyslog()
{
    QFile file(platform::rootPath(QString::fromLatin1(kRotationSettings)));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QString text = latin1Text(file.readAll());
    const int at = text.indexOf(QLatin1String("size"));
    if (at < 0)
        return -1;
    const int end = text.indexOf(QLatin1Char('\n'), at);
    const QStringList pieces = text.mid(at, end < 0 ? -1 : end - at).split(QLatin1Char(' '));
    if (pieces.size() < 2 || pieces[1].isEmpty())
        return -1;

    // Only a unit letter is cut off: "100" is 100 bytes.
    QString value = pieces[1];
    int shift = 0;
    switch (value.back().toLatin1()) {
    case 'k':
        shift = 10;
        break;
    case 'M':
        shift = 20;
        break;
    case 'G':
        shift = 30;
        break;
    default:
        break;
    }
    if (shift > 0)
        value.chop(1);
    const qint64 count = value.toLongLong();
    if (count > (std::numeric_limits<qint64>::max() >> shift))
        return -1;
    return count << shift;
}

qint64 LoaderDlg::max_size_for_log_files()
{
    qint64 largest = -1;
    for (const char* log : kLogFiles) {
        const QFileInfo info(platform::rootPath(QString::fromLatin1(log)));
        if (info.exists())
            largest = qMax(largest, info.size());
    }
    return largest;
}

void LoaderDlg::displayBackupVersion()
{
    const QStringList archives = QDir(platform::rootPath(QString::fromLatin1(kRestoreFolder)))
                                     .entryList({QStringLiteral("*.crs")}, QDir::AllEntries | QDir::NoDotAndDotDot,
                                                QDir::Name | QDir::IgnoreCase);
    if (archives.isEmpty()) {
        ui->LABEL_BACKUP_VERSION->setText(QStringLiteral("-"));
        return;
    }
    // "name_1_0_2.crs" carries the version 1.0.2.
    const QString& name = archives.front();
    const int from = name.indexOf(QLatin1Char('_')) + 1;
    const int dot = name.indexOf(QLatin1Char('.'), from);
    QString version = name.mid(from, dot < 0 ? -1 : dot - from);
    ui->LABEL_BACKUP_VERSION->setText(version.replace(QLatin1Char('_'), QLatin1Char('.')));
}
