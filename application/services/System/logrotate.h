#pragma once

#include <QString>
#include <QStringList>
#include <QThread>

// Keeps the system's log files small: rewrites the two configuration files of
// the rotation program when they lack the expected size limit and, run as a
// thread, forces one rotation.
class logrotate : public QThread
{
    Q_OBJECT

public:
    explicit logrotate(QObject* parent = nullptr);
    // Waits for a rotation still running (at most its 30 s time-out).
    ~logrotate() override;

    // Write "/etc/logrotate.conf" and "/etc/logrotate.d/rsyslog" as the
    // instrument ships them; false (file left as it was) when a write fails.
    bool create_to_logrotate_conf();
    bool create_to_logrotate_d_rsyslog();

    // The size limit in bytes of the first usable "size" entry of a
    // configuration file, or -1 when the file or the entry is missing.
    int size_from_logrotate_conf(QString path);

    // The size of the largest file in "/var/log" matching one of `filters`;
    // throws QString("the log files is not exist.") when none matches.
    int max_size_for_log_files(QStringList filters);

    void force_run_logrotate();

    // The start-up use: rewrite both files when the limit in
    // "/etc/logrotate.conf" is not 10 MiB (from 10 MiB up to, not including,
    // 11 MiB), then start the rotation thread at low priority. Returns whether
    // the files were rewritten.
    bool checkConfigurationAndStart();

protected:
    void run() override;
};
