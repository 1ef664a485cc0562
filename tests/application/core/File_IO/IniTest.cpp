#include "File_IO/ini.h"

#include "FullDisk.h"
#include "LogCapture.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>

#include <string>
#include <thread>

namespace {
const std::string kIni = "/opt/KOVA3/conf/test.ini";
}

TEST(IniRead, Table)
{
    TempRoot root;
    root.writeFile(QString::fromStdString(kIni),
                   "[Cell counting]\nlist=1,2,3\nspaced=a, b,c\nempty=\nplain=On\n"
                   "[1280]\n0x3501=0x12\n");
    const struct { const char* section; const char* key; const char* expected; int result; } cases[] = {
        {"Cell counting", "list", "1, 2, 3", 1},
        {"Cell counting", "spaced", "a, b, c", 1},
        {"Cell counting", "plain", "On", 1},
        {"Cell counting", "empty", "dflt", 0},
        {"Cell counting", "missing", "dflt", 0},
        {"Nope", "plain", "dflt", 0},
        {"1280", "0x3501", "0x12", 1},
    };
    for (const auto& c : cases) {
        std::string out = "untouched";
        EXPECT_EQ(ini_read(c.section, c.key, "dflt", out, kIni), c.result) << c.key;
        EXPECT_EQ(out, c.expected) << c.key;
    }
    std::string out;
    EXPECT_EQ(ini_read("any", "key", "fallback", out, "/no/such/file.ini"), 0);
    EXPECT_EQ(out, "fallback");
}

TEST(IniWrite, CreatesFileWithPlainBlanksAndNoLeftovers)
{
    TempRoot root;
    QDir().mkpath(root.path("/opt/KOVA3/conf"));
    ASSERT_TRUE(ini_write("1280", "0x3501", "0x12", kIni));
    ASSERT_TRUE(ini_write("Save Review", "Last calibration", "2026 12 10", kIni));
    ASSERT_TRUE(ini_write("ShellMode", "On", "0", kIni));
    ASSERT_TRUE(ini_write("5M", {{"0x3501", "0x01"}, {"0x3502", "0x02"}}, kIni));

    const QByteArray text = root.readFile(QString::fromStdString(kIni));
    EXPECT_FALSE(text.contains("%20")) << text.constData();
    EXPECT_TRUE(text.contains("[Save Review]\nLast calibration=2026 12 10\n")) << text.constData();
    EXPECT_TRUE(text.contains("[1280]\n0x3501=0x12\n")) << text.constData();
    EXPECT_TRUE(text.contains("[5M]\n0x3501=0x01\n0x3502=0x02\n")) << text.constData();
    EXPECT_EQ(QDir(root.path("/opt/KOVA3/conf")).entryList(QDir::Files | QDir::Hidden),
              QStringList{"test.ini"});

    // Read back through the same functions, blanks and all.
    std::string out;
    EXPECT_EQ(ini_read("Save Review", "Last calibration", "", out, kIni), 1);
    EXPECT_EQ(out, "2026 12 10");
    EXPECT_EQ(ini_read("1280", "0x3501", "", out, kIni), 1);
    EXPECT_EQ(out, "0x12");
}

// The settings layer escapes non-ASCII text, so the Latin-1 rewrite keeps it.
TEST(IniWrite, NonAsciiValuesSurviveTheRewrite)
{
    TempRoot root;
    for (const char* value : {"\xC3\xA9", "\xCE\xBB", "100 \xC2\xB5m"}) {
        ASSERT_TRUE(ini_write("g", "k", value, kIni));
        std::string out;
        EXPECT_EQ(ini_read("g", "k", "", out, kIni), 1);
        EXPECT_EQ(out, value);
    }
}

TEST(IniWrite, ReportsFailureWhenTheFileCannotBeWritten)
{
    TempRoot root;
    root.writeFile("/opt/KOVA3/conf/plainfile", "x");
    EXPECT_FALSE(ini_write("g", "k", "v", "/opt/KOVA3/conf/plainfile/x.ini"));
}

// A corrupted file is rewritten clean and that is a success, not "cannot
// write"; a corrupted file that cannot be rewritten (a full medium) is still a
// failure, and keeps what it held.
TEST(IniWrite, RepairsACorruptedFileAndTellsRepairFromFailure)
{
    TempRoot root;
    const QByteArray corrupted = "[ShellMode\nno equals sign\n=x\nOn=7\n";
    root.writeFile(QString::fromStdString(kIni), corrupted);
    EXPECT_FALSE(runOnFullDisk(0, [] { return ini_write("ShellMode", "On", "1", kIni); }));
    EXPECT_EQ(root.readFile(QString::fromStdString(kIni)), corrupted);

    LogCapture log;
    EXPECT_TRUE(ini_write("ShellMode", "On", "0", kIni));
    EXPECT_FALSE(log.contains("cannot write"));
    EXPECT_FALSE(root.readFile(QString::fromStdString(kIni)).contains("no equals sign"));
    std::string out;
    EXPECT_EQ(ini_read("ShellMode", "On", "", out, kIni), 1);
    EXPECT_EQ(out, "0");
}

TEST(IniText, IsTakenUpToTheFirstNul)
{
    TempRoot root;
    QDir().mkpath(root.path("/opt/KOVA3/conf"));
    ASSERT_TRUE(ini_write("g", std::string("key\0junk", 8), std::string("val\0junk", 8), kIni));
    std::string out;
    EXPECT_EQ(ini_read("g", "key", "", out, kIni), 1);
    EXPECT_EQ(out, "val");
}

// The GUI and the calibration thread write keys of the same file; the rewrite
// of one must not drop a key the other has just written.
TEST(IniWrite, KeysWrittenFromTwoThreadsAllStay)
{
    TempRoot root;
    QDir().mkpath(root.path("/opt/KOVA3/conf"));
    constexpr int kKeys = 40;
    auto writer = [](const char* section) {
        for (int i = 0; i < kKeys; ++i)
            ini_write(section, "key " + std::to_string(i), std::to_string(i), kIni);
    };
    std::thread gui(writer, "Save Review");
    std::thread calibration(writer, "Last calibration");
    gui.join();
    calibration.join();

    for (const char* section : {"Save Review", "Last calibration"}) {
        for (int i = 0; i < kKeys; ++i) {
            std::string out;
            EXPECT_EQ(ini_read(section, "key " + std::to_string(i), "", out, kIni), 1) << section << " " << i;
        }
    }
}
