#include "LoaderBench.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>

namespace {

QString localTime(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString("yyyy-MM-dd hh:mm");
}

}  // namespace

TEST(LoaderInformation, WithoutASettingsFileNothingChanges)
{
    LoaderBench bench;
    const auto dialog = LoaderBench::makeDialog();
    for (const char* label : {"LABEL_CURRENT_VERSION", "LABEL_SERIAL_NUMBER", "LABEL_VOLUME_FACTOR",
                              "LABEL_CURRENT_LOG_SIZE"})
        EXPECT_EQ(LoaderBench::labelText(*dialog, label), "") << label;
    EXPECT_EQ(dialog->serialNumber(), "");
}

TEST(LoaderInformation, DefaultsAndTheLastBuildDate)
{
    LoaderBench bench;
    bench.writeSettings("[KOVA-III]\n");
    bench.root.writeFile("/run/readelf.out",
                         "\nString dump of section 'ZX_META':\n"
                         "  [     0]  BASE_SVN_REV=0\n"
                         "  [     f]  BUILD_DATE=1000000000\n"
                         "  [    2a]  BUILD_DATE=1700000000\n"
                         "  [    45]  VERSION=1.0.2\n");
    const auto dialog = LoaderBench::makeDialog();
    const struct
    {
        const char* label;
        QString text;
    } expected[] = {
        {"LABEL_CURRENT_VERSION", "0.0.0\n(" + localTime(1700000000) + ")"},
        {"LABEL_SERIAL_NUMBER", "KO3-00-00000"},
        {"LABEL_VOLUME_FACTOR", "0.48979"},
        {"LABEL_LENS_MAGNIFICATION", "1.460"},
        {"LABEL_LENS_CENTER_POSITION", "32000"},
        {"LABEL_FIRMWARE_VERSION", "-"},
        {"LABEL_RUNQC_VERSION", "-"},
        {"LABEL_CURRENT_LOG_SIZE", "0.0 MB (Unknown)"},
    };
    for (const auto& e : expected)
        EXPECT_EQ(LoaderBench::labelText(*dialog, e.label), e.text) << e.label;
    EXPECT_EQ(dialog->serialNumber(), "KO3-00-00000");
    EXPECT_TRUE(bench.root.readFile("/run/readelf.calls")
                    .startsWith("readelf -pZX_META " + bench.root.path(LoaderBench::kApp).toUtf8() + "\n"));
}

TEST(LoaderInformation, StoredValuesAsTheVerifierWritesThem)
{
    LoaderBench bench;
    bench.writeSettings("[KOVA-III]\nSerial=KO3-21-00042\nVolume factor=0.5\nMagnification=1.4567\n"
                        "[Calibration]\nZ reference=31234\n"
                        "[Software]\nVersion SW=1.0.2\nVersion FW=2.1.0\nVersion QC=0.9.1\n");
    const auto dialog = LoaderBench::makeDialog();
    EXPECT_EQ(LoaderBench::labelText(*dialog, "LABEL_CURRENT_VERSION"), "1.0.2\n(-)") << "no build date";
    EXPECT_EQ(LoaderBench::labelText(*dialog, "LABEL_SERIAL_NUMBER"), "KO3-21-00042");
    EXPECT_EQ(LoaderBench::labelText(*dialog, "LABEL_VOLUME_FACTOR"), "0.50000");
    EXPECT_EQ(LoaderBench::labelText(*dialog, "LABEL_LENS_MAGNIFICATION"), "1.457");
    EXPECT_EQ(LoaderBench::labelText(*dialog, "LABEL_LENS_CENTER_POSITION"), "31234");
    EXPECT_EQ(LoaderBench::labelText(*dialog, "LABEL_FIRMWARE_VERSION"), "2.1.0");
    EXPECT_EQ(LoaderBench::labelText(*dialog, "LABEL_RUNQC_VERSION"), "0.9.1");
}

TEST(LoaderInformation, LogSizeAgainstTheRotationLimit)
{
    struct Case
    {
        const char* rotation;  // content of the rotation settings, or null for none
        qint64 largestLog;     // -1: no log file
        QString shown;
    };
    const Case cases[] = {
        {"/var/log/syslog\n{\n\tsize 10M\n\trotate 4\n}\n", 3145728, "3.0 MB (10.0 MB)"},
        {nullptr, 3145728, "3.0 MB (Unknown)"},
        {"\tsize 10M\n", -1, "0.0 MB (10.0 MB)"},
        {"\tsize\n", 1048576, "1.0 MB (Unknown)"},
        {"\trotate 4\n", 1048576, "1.0 MB (Unknown)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        LoaderBench bench;
        bench.writeSettings("[KOVA-III]\n");
        if (c.rotation)
            bench.root.writeFile("/etc/logrotate.d/rsyslog", c.rotation);
        if (c.largestLog >= 0) {
            bench.root.writeFile("/var/log/messages", QByteArray(1000, 'm'));
            bench.root.writeFile("/var/log/syslog.1", QByteArray(int(c.largestLog), 's'));
        }
        const auto dialog = LoaderBench::makeDialog();
        EXPECT_EQ(LoaderBench::labelText(*dialog, "LABEL_CURRENT_LOG_SIZE"), c.shown);
        EXPECT_EQ(LoaderDlg::max_size_for_log_files(), c.largestLog);
    }
}

TEST(LoaderInformation, RotationLimitUnits)
{
    const struct
    {
        const char* line;
        qint64 bytes;
    } cases[] = {
        {"size 100k", 102400},
        {"size 10M", 10485760},
        {"size 3G", 3221225472},
        {"size 100", 100},  // a plain number is bytes
        {"maxsize 5M", 5242880},
        {"size", -1},
        {"rotate 4", -1},
    };
    for (const auto& c : cases) {
        TempRoot root;
        root.writeFile("/etc/logrotate.d/rsyslog", QByteArray(c.line) + "\n");
        EXPECT_EQ(LoaderDlg::size_from_rsyslog(), c.bytes) << c.line;
    }
    TempRoot root;
    EXPECT_EQ(LoaderDlg::size_from_rsyslog(), -1) << "no rotation settings";
}

TEST(LoaderInformation, BackupVersionFromTheFirstArchiveName)
{
    LoaderBench bench;
    const auto dialog = LoaderBench::makeDialog();
    dialog->displayBackupVersion();
    EXPECT_EQ(LoaderBench::labelText(*dialog, "LABEL_BACKUP_VERSION"), "-");

    bench.root.writeFile("/opt/KOVA3/restore/b_2_0_0.crs", "");
    bench.root.writeFile("/opt/KOVA3/restore/A_1_0_2.crs", "");
    bench.root.writeFile("/opt/KOVA3/restore/notes.txt", "");
    dialog->displayBackupVersion();
    EXPECT_EQ(LoaderBench::labelText(*dialog, "LABEL_BACKUP_VERSION"), "1.0.2");
}
