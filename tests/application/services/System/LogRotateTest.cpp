#include "System/logrotate.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <limits>

namespace {

const QByteArray kExpectedConf =
    "# see man logrotate for details\n"
    "\n"
    "# rotate log files weekly\n"
    "#weekly\n"
    "\n"
    "# keep 4 weeks worth of backlogs\n"
    "rotate 2\n"
    "\n"
    "# size\n"
    "minsize 10M\n"
    "\n"
    "# create new (empty) log files after rotating old ones\n"
    "create\n"
    "\n"
    "# uncomment this if you want your log files compressed\n"
    "#compress\n"
    "\n"
    "# packages drop log rotation information into this directory\n"
    "include /etc/logrotate.d\n"
    "\n"
    "# no packages own wtmp, or btmp -- we'll rotate them here\n"
    "/var/log/wtmp {\n"
    "\tmissingok\n"
    "\tmonthly\n"
    "\tcreate 0664 root utmp\n"
    "\trotate 1\n"
    "}\n"
    "\n"
    "/var/log/btmp {\n"
    "\tmissingok\n"
    "\tmonthly\n"
    "\tcreate 0660 root utmp\n"
    "\trotate 1\n"
    "}\n"
    "\n"
    "# system-specific logs may be configured here\n";

const QByteArray kExpectedRsyslog =
    "/var/log/syslog\n"
    "{\n"
    "\trotate 2\n"
    "\tminsize 10M\n"
    "\tcreate\n"
    "}\n"
    "\n"
    "/var/log/mail.info\n"
    "/var/log/mail.warn\n"
    "/var/log/mail.err\n"
    "/var/log/mail.log\n"
    "/var/log/daemon.log\n"
    "/var/log/kern.log\n"
    "{\n"
    "\trotate 2\n"
    "\tminsize 10M\n"
    "\tcreate\n"
    "}\n"
    "/var/log/auth.log\n"
    "/var/log/user.log\n"
    "/var/log/lpr.log\n"
    "/var/log/cron.log\n"
    "/var/log/debug\n"
    "/var/log/messages\n"
    "{\n"
    "\trotate 2\n"
    "\tminsize 10M\n"
    "\tcreate\n"
    "}\n";

TEST(LogRotate, WritesBothConfigurationFilesByteExact)
{
    TempRoot root;
    root.writeFile("/etc/logrotate.conf", "old text that is much longer than nothing at all\n");
    root.writeFile("/etc/logrotate.d/rsyslog", "");
    logrotate rotation;
    EXPECT_TRUE(rotation.create_to_logrotate_conf());
    EXPECT_TRUE(rotation.create_to_logrotate_d_rsyslog());
    EXPECT_EQ(root.readFile("/etc/logrotate.conf"), kExpectedConf);
    EXPECT_EQ(root.readFile("/etc/logrotate.d/rsyslog"), kExpectedRsyslog);
    EXPECT_EQ(kExpectedConf.count('\n'), 36);
    EXPECT_EQ(kExpectedRsyslog.count('\n'), 29);
    EXPECT_EQ(rotation.size_from_logrotate_conf("/etc/logrotate.conf"), 10485760);
    EXPECT_EQ(rotation.size_from_logrotate_conf("/etc/logrotate.d/rsyslog"), 10485760);
}

TEST(LogRotate, AFileThatCannotBeWrittenIsReportedAndLeftAlone)
{
    TempRoot root;  // no /etc/logrotate.d folder
    logrotate rotation;
    EXPECT_FALSE(rotation.create_to_logrotate_d_rsyslog());
    EXPECT_FALSE(QFileInfo::exists(root.path("/etc/logrotate.d")));
}

TEST(LogRotate, ReadsTheSizeLimit)
{
    struct Case
    {
        const char* text;  // nullptr: no file
        int limit;
    };
    const Case cases[] = {
        {"minsize 10M\n", 10485760},
        {"# size\nsize 10240k\n", 10485760},
        {"size 11M", 11534336},
        {"maxsize 1G\n", 1 << 30},
        {"size 100\n", 10},  // no unit: the last digit is taken for one
        {"size abcM\n", 0},
        {"size \n", 0},
        {"# size\n# no limit here\n", -1},
        {"rotate 2\n", -1},
        {"", -1},
        {nullptr, -1},
        {"size 4096G\n", std::numeric_limits<int>::max()},  // beyond int: never in range
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(no file)");
        TempRoot root;
        if (c.text)
            root.writeFile("/etc/logrotate.conf", QByteArray(c.text));
        EXPECT_EQ(logrotate().size_from_logrotate_conf("/etc/logrotate.conf"), c.limit);
    }
}

TEST(LogRotate, StartUpRewritesOnlyAWrongLimitAndRotatesOnce)
{
    struct Case
    {
        const char* conf;  // nullptr: no file
        bool rewritten;
    };
    const Case cases[] = {
        {"minsize 10M\n", false},      {"size 10240k\n", false}, {"size 115343350\n", false},
        {"size 11M\n", true},          {"size 9M\n", true},      {"size 10485750\n", true},
        {"rotate 2\n", true},          {nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.conf ? c.conf : "(no file)");
        TempRoot root;
        if (c.conf)
            root.writeFile("/etc/logrotate.conf", c.conf);
        root.writeFile("/etc/logrotate.d/rsyslog", "hand-made\n");
        root.writeScript("/usr/sbin/logrotate", "echo \"$@\" >> \"$KOVA3_ROOT/logrotate.calls\"\n");

        logrotate rotation;
        EXPECT_EQ(rotation.checkConfigurationAndStart(), c.rewritten);
        ASSERT_TRUE(rotation.wait(10000));

        EXPECT_EQ(root.readFile("/logrotate.calls"), QByteArray("-f /etc/logrotate.d/\n"));
        if (c.rewritten) {
            EXPECT_EQ(root.readFile("/etc/logrotate.conf"), kExpectedConf);
            EXPECT_EQ(root.readFile("/etc/logrotate.d/rsyslog"), kExpectedRsyslog);
        } else {
            EXPECT_EQ(root.readFile("/etc/logrotate.conf"), QByteArray(c.conf));
            EXPECT_EQ(root.readFile("/etc/logrotate.d/rsyslog"), QByteArray("hand-made\n"));
        }
    }
}

TEST(LogRotate, AMissingRotationProgramOnlyEndsTheThread)
{
    TempRoot root;
    root.writeFile("/etc/logrotate.conf", "minsize 10M\n");
    logrotate rotation;
    EXPECT_FALSE(rotation.checkConfigurationAndStart());
    EXPECT_TRUE(rotation.wait(10000));
    EXPECT_TRUE(rotation.isFinished());
}

TEST(LogRotate, LargestLogFile)
{
    TempRoot root;
    root.writeFile("/var/log/syslog", QByteArray(10, 'x'));
    root.writeFile("/var/log/syslog.1", QByteArray(30, 'x'));
    root.writeFile("/var/log/.syslog.hidden", QByteArray(40, 'x'));
    root.writeFile("/var/log/kern.log", QByteArray(50, 'x'));
    logrotate rotation;
    EXPECT_EQ(rotation.max_size_for_log_files({"syslog*"}), 30);
    EXPECT_EQ(rotation.max_size_for_log_files({"syslog*", ".syslog*"}), 40);
    try {
        rotation.max_size_for_log_files({"mail*"});
        ADD_FAILURE() << "no exception";
    } catch (const QString& message) {
        EXPECT_EQ(message, QString("the log files is not exist."));
    }
}

}  // namespace
