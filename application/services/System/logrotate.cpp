#include "System/logrotate.h"

#include "platform/CommandRunner.h"
#include "platform/Log.h"
#include "platform/Root.h"
#include "platform/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

const QString kLogrotateConf = QStringLiteral("/etc/logrotate.conf");
const QString kRsyslogConf = QStringLiteral("/etc/logrotate.d/rsyslog");
constexpr qint64 kMinLimit = 10485760;  // 10 MiB
constexpr qint64 kMaxLimit = 11534336;  // 11 MiB, excluded

const char* const kLogrotateConfLines[] = {
    "# see man logrotate for details",
    "",
    "# rotate log files weekly",
    "#weekly",
    "",
    "# keep 4 weeks worth of backlogs",
    "rotate 2",
    "",
    "# size",
    "minsize 10M",
    "",
    "# create new (empty) log files after rotating old ones",
    "create",
    "",
    "# uncomment this if you want your log files compressed",
    "#compress",
    "",
    "# packages drop log rotation information into this directory",
    "include /etc/logrotate.d",
    "",
    "# no packages own wtmp, or btmp -- we'll rotate them here",
    "/var/log/wtmp {",
    "\tmissingok",
    "\tmonthly",
    "\tcreate 0664 root utmp",
    "\trotate 1",
    "}",
    "",
    "/var/log/btmp {",
    "\tmissingok",
    "\tmonthly",
    "\tcreate 0660 root utmp",
    "\trotate 1",
    "}",
    "",
    "# system-specific logs may be configured here",
};

const char* const kRsyslogLines[] = {
    "/var/log/syslog",
    "{",
    "\trotate 2",
    "\tminsize 10M",
    "\tcreate",
    "}",
    "",
    "/var/log/mail.info",
    "/var/log/mail.warn",
    "/var/log/mail.err",
    "/var/log/mail.log",
    "/var/log/daemon.log",
    "/var/log/kern.log",
    "{",
    "\trotate 2",
    "\tminsize 10M",
    "\tcreate",
    "}",
    "/var/log/auth.log",
    "/var/log/user.log",
    "/var/log/lpr.log",
    "/var/log/cron.log",
    "/var/log/debug",
    "/var/log/messages",
    "{",
    "\trotate 2",
    "\tminsize 10M",
    "\tcreate",
    "}",
};

// Through a temporary file: the rotation program and the launcher never see a
// half-written configuration, and a failed write leaves the old one in place.
template <size_t N>
bool writeLines(const QString& logicalPath, const char* const (&lines)[N])
{
    QSaveFile file(platform::rootPath(logicalPath));
    if (!platform::openSaveFile(file)) {
        KLOG << "cannot write" << logicalPath;
        return false;
    }
    for (const char* line : lines) {
        const QByteArray bytes = QByteArray(line) + '\n';
        if (file.write(bytes) != bytes.size()) {
            file.cancelWriting();
            break;
        }
    }
    const bool ok = file.commit();
    if (!ok)
        KLOG << "cannot write" << logicalPath;
    return ok;
}

}  // namespace

logrotate::logrotate(QObject* parent)
    : QThread(parent)
{
}

logrotate::~logrotate()
{
    // Destroying a running QThread aborts the program.
    wait();
}

bool logrotate::create_to_logrotate_conf()
{
    KLOG_ENTER;
    return writeLines(kLogrotateConf, kLogrotateConfLines);
}

bool logrotate::create_to_logrotate_d_rsyslog()
{
    KLOG_ENTER;
    return writeLines(kRsyslogConf, kRsyslogLines);
}

int logrotate::size_from_logrotate_conf(QString path)
{
    QFile file(platform::rootPath(path));
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return -1;
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    const QString text = QString::fromUtf8(bytes);

    QStringList parts;
    for (int hit = text.indexOf(QLatin1String("size")); hit >= 0; hit = text.indexOf(QLatin1String("size"), hit + 1)) {
        const int end = text.indexOf(QLatin1Char('\n'), hit);
        parts = text.mid(hit, end < 0 ? -1 : end - hit).split(QLatin1Char(' '));
        if (parts.size() > 1)
            break;
    }
    if (parts.size() < 2)
        return -1;

    const QString value = parts[1];
    if (value.isEmpty())
        return 0;
    qint64 size = value.left(value.size() - 1).toLongLong();
    const QChar unit = value.back();
    if (unit == QLatin1Char('k'))
        size *= 1024;
    else if (unit == QLatin1Char('M'))
        size <<= 20;
    else if (unit == QLatin1Char('G'))
        size <<= 30;
    // A limit beyond int is out of range anyway; saturate rather than wrap
    // into the accepted window.
    if (size > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (size < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(size);
}

int logrotate::max_size_for_log_files(QStringList filters)
{
    const QDir dir(platform::rootPath(QStringLiteral("/var/log")));
    const QFileInfoList files =
        dir.entryInfoList(filters, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    if (files.isEmpty())
        throw QString(QStringLiteral("the log files is not exist."));
    qint64 largest = 0;
    for (const QFileInfo& info : files)
        largest = std::max(largest, info.size());
    return static_cast<int>(std::min<qint64>(largest, std::numeric_limits<int>::max()));
}

void logrotate::force_run_logrotate()
{
    KLOG_ENTER;
    platform::CommandRunner::run(QStringLiteral("logrotate"),
                                 {QStringLiteral("-f"), QStringLiteral("/etc/logrotate.d/")},
                                 platform::CommandRunner::kDefaultTimeoutMs);
}

void logrotate::run()
{
    force_run_logrotate();
}

bool logrotate::checkConfigurationAndStart()
{
    const int limit = size_from_logrotate_conf(kLogrotateConf);
    KLOG_VALUE("logrotate size", limit);
    const bool rewrite = limit < kMinLimit || limit >= kMaxLimit;
    if (rewrite) {
        create_to_logrotate_conf();
        create_to_logrotate_d_rsyslog();
    }
    start(QThread::LowPriority);
    return rewrite;
}
